#pragma once

#include <QList>
#include <QObject>
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
    void place();
    void copy(int index);

    QTextEdit &view_;
    QList<QToolButton *> buttons_;
    QTimer placement_;
};
