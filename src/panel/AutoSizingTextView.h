#pragma once

#include "panel/StyledText.h"

#include <QHash>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextEdit>

// Selectable, read-only message text whose height follows the text wrapped at the width it is given.
//
// New text replaces only what differs from the text already shown, so a growing answer costs a
// rewrite (and a layout) of its tail, not of the whole answer.
class AutoSizingTextView : public QTextEdit {
    Q_OBJECT
public:
    static constexpr int verticalInset = 2;

    explicit AutoSizingTextView(QWidget *parent = nullptr);

    void setStyledText(const StyledText &text, const QColor &foreground);
    const StyledText &styledText() const { return shown_; }
    QColor foreground() const { return foreground_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The width the text needs when wrapped at `maxWidth` (narrower for short text).
    int idealWidth(int maxWidth) const;

    static QTextCharFormat charFormat(TextStyle style, const QColor &foreground);
    static QTextBlockFormat paragraphFormat();

protected:
    void wheelEvent(QWheelEvent *event) override;

private:
    // Lays the document out at `width` and runs `measure`; the width the view shows is restored after.
    template <typename Measure> auto measuredAt(int width, Measure measure) const;

    StyledText shown_;
    QColor foreground_;
    // Layouts asked again and again about the same text at the same widths get the answer at once.
    mutable QHash<int, int> heights_;
    mutable QHash<int, int> idealWidths_;
};
