#pragma once

#include <QAbstractButton>
#include <QImage>

class RoundIconButton;

// A screenshot in the transcript: click to open it full size; an optional cross removes it.
class AttachmentThumbnailButton : public QAbstractButton {
    Q_OBJECT
public:
    AttachmentThumbnailButton(const QImage &image, bool removable, QWidget *parent = nullptr);

    // Scaled to touch 220 × 140 (up or down), then raised to at least 80 × 50.
    static QSize thumbnailSize(QSize imageSize);

    RoundIconButton *removeButton() const { return removeButton_; }
    QSize sizeHint() const override { return thumbnailSize(image_.size()); }

Q_SIGNALS:
    void removeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage image_;
    RoundIconButton *removeButton_ = nullptr;
};
