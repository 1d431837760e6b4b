#include "panel/MessageTextView.h"

#include "panel/AutoSizingTextView.h"
#include "panel/QueryPanelTheme.h"

#include <QRegularExpression>

namespace {

// Replaces each match of `pattern` with its capture `group` in `style`, until none is left.
//
// Every search finds the leftmost match of the current text. After a replacement at s no match can
// begin before s − 1 (the text before it is unchanged and held none), so the next search starts there
// instead of at the beginning: same result, without rescanning the whole answer for every marker.
void replaceMatches(StyledText &text, const QRegularExpression &pattern, int group, TextStyle style)
{
    qsizetype from = 0;
    for (;;) {
        const QRegularExpressionMatch match = pattern.match(text.text, from);
        if (!match.hasMatch() || match.lastCapturedIndex() < group || match.capturedStart(group) < 0)
            return;
        const qsizetype start = match.capturedStart(0);
        text.replace(start, match.capturedLength(0), match.captured(group), style);
        from = qMax<qsizetype>(0, start - 1);
    }
}

// A lone surrogate, from a pair cut apart or sent so, makes every match on the text fail, which would take the
// styles off the whole answer until its other half came.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

MessageTextView::MessageTextView(const QString &text, ChatMessageRole role, bool dimmed, QWidget *parent)
    : QWidget(parent)
    , role_(role)
    , textView_(new AutoSizingTextView(this))
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setText(text, dimmed);
}

void MessageTextView::setText(const QString &text, bool dimmed)
{
    textView_->setStyledText(role_ == ChatMessageRole::User ? attributedPlainText(text) : markdown_.convert(text),
                             foreground(dimmed));
    updateGeometry();
}

QColor MessageTextView::foreground(bool dimmed)
{
    return dimmed ? QueryPanelTheme::dimText() : QueryPanelTheme::text();
}

StyledText MessageTextView::attributedPlainText(const QString &text)
{
    return StyledText(text, TextStyle::Body);
}

StyledText MessageTextView::attributedAssistantText(const QString &text, bool *closed)
{
    static const QRegularExpression doubleAsterisks(QStringLiteral("\\*\\*(.+?)\\*\\*"),
                                                    QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression doubleUnderscores(QStringLiteral("__(.+?)__"),
                                                      QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression backticks(QStringLiteral("`([^`\\n]+)`"),
                                              QRegularExpression::DotMatchesEverythingOption);
    StyledText styled(withoutLoneSurrogates(text), TextStyle::Body);
    replaceMatches(styled, doubleAsterisks, 1, TextStyle::Bold);
    bool open = styled.text.contains(u"**");
    replaceMatches(styled, doubleUnderscores, 1, TextStyle::Bold);
    open = open || styled.text.contains(u"__");
    replaceMatches(styled, backticks, 1, TextStyle::Code);
    // Text after a last line that starts with hashes could still become its heading.
    const QStringView lastLines = QStringView(styled.text).trimmed();
    open = open || !text.endsWith(u'\n') || lastLines.mid(lastLines.lastIndexOf(u'\n') + 1).trimmed().startsWith(u'#');
    applyHeadingStyle(styled);
    if (closed)
        *closed = !open;
    return styled;
}

void MessageTextView::applyHeadingStyle(StyledText &text)
{
    // `\s+` may run across a line break, so a lone "#" line turns the next line into the heading.
    static const QRegularExpression heading(QStringLiteral("(?m)^(#{1,3})\\s+(.+)$"));
    replaceMatches(text, heading, 2, TextStyle::Heading);
}

int MessageTextView::heightForWidth(int width) const
{
    return qMax(textView_->heightForWidth(width), minimumHeight);
}

QSize MessageTextView::sizeHint() const
{
    return QSize(textView_->sizeHint().width(), heightForWidth(width()));
}

void MessageTextView::resizeEvent(QResizeEvent *)
{
    textView_->setGeometry(rect());
}
