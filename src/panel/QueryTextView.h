#pragma once

#include <QTextEdit>
#include <QTimer>

// The editable text of the query field. Return submits, Shift-Return and Alt-Return break the line,
// Escape cancels; Return on an empty field is reported as a press and a release instead.
class QueryTextView : public QTextEdit {
    Q_OBJECT
public:
    static constexpr int verticalInset = 3;
    // A release followed this soon by a press is the key repeating: X11 repeats a held key as release and
    // press pairs, which a busy application does not always recognise as such.
    static constexpr int repeatGapMs = 50;

    explicit QueryTextView(QWidget *parent = nullptr);

    bool isBlank() const; // nothing but white space and line breaks

Q_SIGNALS:
    void submitRequested();
    void cancelRequested();
    void emptyEnterPressBegan();
    void emptyEnterPressEnded();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    bool emptyEnterDown_ = false; // a release only counts after a press on an empty field
    QTimer emptyEnterRelease_;    // a release waiting to be sure it was one
};
