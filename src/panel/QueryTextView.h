#pragma once

#include <QTextEdit>

// The editable text of the query field. Return submits, Shift-Return and Alt-Return break the line,
// Escape cancels; Return on an empty field is reported as a press and a release instead.
class QueryTextView : public QTextEdit {
    Q_OBJECT
public:
    static constexpr int verticalInset = 3;

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
};
