#pragma once

#include <QImage>
#include <QPointer>
#include <QSizeF>
#include <QString>

class QScreen;
class QWidget;

// Shows an attached screenshot at full size in an ordinary window above the panel. Escape or Space
// closes it; it never touches the session.
class ImagePreviewWindowController {
public:
    // On `screen`, or the primary screen when none is given.
    ImagePreviewWindowController(const QImage &image, const QString &title, QScreen *screen = nullptr);
    ~ImagePreviewWindowController();

    ImagePreviewWindowController(const ImagePreviewWindowController &) = delete;
    ImagePreviewWindowController &operator=(const ImagePreviewWindowController &) = delete;

    void showWindow();
    QWidget *window() const { return window_; } // null once the user has closed it

    // Images larger than 85 % of the visible area are scaled down to fit it; none is enlarged, and
    // every window is at least 320 × 240.
    static QSizeF contentSize(QSizeF image, QSizeF visibleArea);

private:
    QPointer<QWidget> window_;
};
