#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRectF>
#include <QTimer>

class QTextEdit;
class QToolButton;

// A "Copy" button at the top right of each code block of a text view's document; it copies the block's
// code, without fences, to the clipboard.
class CodeCopyButtons : public QObject {
    Q_OBJECT
public:
    explicit CodeCopyButtons(QTextEdit &view);

    const QList<QToolButton *> &buttons() const { return buttons_; }
    // Places the buttons at the next turn of the event loop, once the document is laid out again.
    void schedulePlacement();

private:
    struct Placed {
        QRectF box;
        int end; // where the code block ended in the document when it was placed
    };

    void place();
    void copy(int index);

    QTextEdit &view_;
    QList<QToolButton *> buttons_;
    QTimer placement_;
    // An answer grows at its end: the code blocks before the first change since the last placement are
    // where they were, unless the view's width or scrolling moved everything.
    QList<Placed> placed_;
    int changedFrom_ = 0;
    int placedWidth_ = -1;
    QPoint placedScroll_;
};
