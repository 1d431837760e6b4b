#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QueryTextView;

// The query field: multi-line text that grows from 28 to 92 pt and scrolls beyond, with a placeholder
// that a short hint can replace for a while.
class QueryInputTextView : public QWidget {
    Q_OBJECT
public:
    static constexpr int minimumHeight = 28;
    static constexpr int maximumHeight = 92;

    explicit QueryInputTextView(QWidget *parent = nullptr);

    void configure(const QString &placeholder, const QColor &textColor, const QColor &placeholderColor);
    void updatePlaceholder();
    void recalculateHeight();
    void showTemporaryPlaceholder(const QString &text, int durationMs);

    QueryTextView *textView() const { return textView_; }
    QLabel *placeholderField() const { return placeholderField_; }
    QString text() const;
    void clear();
    int currentIntrinsicHeight() const { return currentIntrinsicHeight_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    void changed();
    void submitRequested();
    void cancelRequested();
    void emptyEnterPressBegan();
    void emptyEnterPressEnded();
    void heightChanged();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    QueryTextView *textView_;
    QLabel *placeholderField_;
    QString defaultPlaceholder_;
    QString temporaryPlaceholderText_;
    QTimer temporaryPlaceholderTimer_;
    int currentIntrinsicHeight_ = minimumHeight;
};
