#pragma once

#include <QHash>
#include <QPoint>
#include <QTextEdit>

class CodeCopyButtons;

// Selectable, read-only message text whose height follows the text wrapped at the width it is given. It
// draws what a Markdown answer shows around its text (code boxes, quote bars, rules, list numbers), puts a
// copy button on each code block, and opens links with the desktop.
class AutoSizingTextView : public QTextEdit {
    Q_OBJECT
public:
    static constexpr int verticalInset = 2;

    explicit AutoSizingTextView(QWidget *parent = nullptr);

    // Call after changing the document: sizes and buttons follow it.
    void documentChanged();
    CodeCopyButtons *copyButtons() const { return copyButtons_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The width the text needs when wrapped at `maxWidth` (narrower for short text).
    int idealWidth(int maxWidth) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Lays the document out at `width` and runs `measure`; the width the view shows is restored after.
    template <typename Measure> auto measuredAt(int width, Measure measure) const;

    CodeCopyButtons *copyButtons_;
    QPoint pressedAt_;
    // Layouts asked again and again about the same text at the same widths get the answer at once.
    mutable QHash<int, int> heights_;
    mutable QHash<int, int> idealWidths_;
};
