#include "PanelTestSupport.h"

#include "panel/AutoSizingTextView.h"
#include "panel/MessageTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/StreamingMarkdown.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

ShownRun run(const QString &text, TextStyle style, bool dimmed = false)
{
    const QTextCharFormat format = AutoSizingTextView::charFormat(style, MessageTextView::foreground(dimmed));
    return {text, format.font().family(), format.font().weight(), format.font().pointSizeF(),
            format.foreground().color()};
}

std::vector<ShownRun> rendered(const QString &text, ChatMessageRole role = ChatMessageRole::Assistant,
                               bool dimmed = false)
{
    MessageTextView view(text, role, dimmed);
    return shownRuns(*view.textView()->document());
}

using Runs = std::vector<ShownRun>;

} // namespace

TEST(Markdown, BoldNeedsDoubleMarkersAndPairsThemFromTheLeft)
{
    EXPECT_EQ(rendered(u"a **b** c"_qs),
              (Runs{run(u"a "_qs, TextStyle::Body), run(u"b"_qs, TextStyle::Bold), run(u" c"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"__b__!"_qs), (Runs{run(u"b"_qs, TextStyle::Bold), run(u"!"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"*one* _two_"_qs), (Runs{run(u"*one* _two_"_qs, TextStyle::Body)}));
    // The third pair has no partner and stays as typed.
    EXPECT_EQ(rendered(u"**x** y **"_qs), (Runs{run(u"x"_qs, TextStyle::Bold), run(u" y **"_qs, TextStyle::Body)}));
    // Bold may span lines.
    EXPECT_EQ(rendered(u"**a\nb**"_qs), (Runs{run(u"a\nb"_qs, TextStyle::Bold)}));
}

TEST(Markdown, InlineCodeStaysOnOneLineAndFencesStayAsTyped)
{
    EXPECT_EQ(
        rendered(u"run `ls -l` now"_qs),
        (Runs{run(u"run "_qs, TextStyle::Body), run(u"ls -l"_qs, TextStyle::Code), run(u" now"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"empty `` pair"_qs), (Runs{run(u"empty `` pair"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"`a\nb`"_qs), (Runs{run(u"`a\nb`"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"```\nx = 1\n```"_qs), (Runs{run(u"```\nx = 1\n```"_qs, TextStyle::Body)}));
    // Code restyles what the bold pass produced; the asterisks are gone by then.
    EXPECT_EQ(rendered(u"`a **b** c`"_qs), (Runs{run(u"a b c"_qs, TextStyle::Code)}));
}

TEST(Markdown, HeadingsOfOneToThreeHashesBecomeUniformTitles)
{
    for (const QString &hashes : {u"#"_qs, u"##"_qs, u"###"_qs})
        EXPECT_EQ(rendered(hashes + u" Title\nbody"_qs),
                  (Runs{run(u"Title"_qs, TextStyle::Heading), run(u"\nbody"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"#### Four"_qs), (Runs{run(u"#### Four"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"#tag"_qs), (Runs{run(u"#tag"_qs, TextStyle::Body)}));
    EXPECT_EQ(rendered(u"## A **b** `c`"_qs), (Runs{run(u"A b c"_qs, TextStyle::Heading)}));
    // The blank after a lone hash runs over the line break: the next line is the heading.
    EXPECT_EQ(rendered(u"#\nNext"_qs), (Runs{run(u"Next"_qs, TextStyle::Heading)}));
}

TEST(Markdown, DimmedTextAndUserTextUseOneColourAndNoMarkup)
{
    EXPECT_EQ(rendered(u"# H\n**b** `c` d"_qs, ChatMessageRole::Assistant, true),
              (Runs{run(u"H"_qs, TextStyle::Heading, true), run(u"\nb"_qs, TextStyle::Bold, true),
                    run(u" "_qs, TextStyle::Body, true), run(u"c"_qs, TextStyle::Code, true),
                    run(u" d"_qs, TextStyle::Body, true)}));
    EXPECT_EQ(rendered(u"**as typed** `x`"_qs, ChatMessageRole::User),
              (Runs{run(u"**as typed** `x`"_qs, TextStyle::Body)}));
    EXPECT_EQ(run(u""_qs, TextStyle::Code).pointSize, QueryPanelTheme::monospacedFont(12.5).pointSizeF());
    EXPECT_GT(run(u""_qs, TextStyle::Heading).pointSize, run(u""_qs, TextStyle::Bold).pointSize);
}

TEST(Markdown, EmptyAnswerStillTakesARow)
{
    MessageTextView view(QString(), ChatMessageRole::Assistant, false);
    EXPECT_GE(view.heightForWidth(400), MessageTextView::minimumHeight);
}

namespace {

// The conversion exactly as described: every search starts again at the beginning of the text.
StyledText restartingConversion(const QString &text)
{
    const auto pass = [](StyledText &styled, const QRegularExpression &pattern, int group, TextStyle style) {
        for (QRegularExpressionMatch m = pattern.match(styled.text); m.hasMatch(); m = pattern.match(styled.text))
            styled.replace(m.capturedStart(0), m.capturedLength(0), m.captured(group), style);
    };
    const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
    StyledText styled(text, TextStyle::Body);
    pass(styled, QRegularExpression(u"\\*\\*(.+?)\\*\\*"_qs, dotAll), 1, TextStyle::Bold);
    pass(styled, QRegularExpression(u"__(.+?)__"_qs, dotAll), 1, TextStyle::Bold);
    pass(styled, QRegularExpression(u"`([^`\\n]+)`"_qs, dotAll), 1, TextStyle::Code);
    pass(styled, QRegularExpression(u"(?m)^(#{1,3})\\s+(.+)$"_qs), 2, TextStyle::Heading);
    return styled;
}

QString randomMarkdown(QRandomGenerator &random, int length)
{
    static const QStringList pieces = {u"*"_qs,   u"**"_qs, u"_"_qs,  u"__"_qs, u"`"_qs,  u"#"_qs,
                                       u"## "_qs, u" "_qs,  u"\n"_qs, u"a"_qs,  u"bc"_qs, u"é"_qs};
    QString text;
    while (text.size() < length)
        text += pieces.at(random.bounded(int(pieces.size())));
    return text;
}

} // namespace

TEST(Markdown, ResumingSearchesGivesTheSameResultAsRestartingThem)
{
    QRandomGenerator random(20261206);
    for (int i = 0; i < 3000; ++i) {
        const QString text = randomMarkdown(random, 1 + random.bounded(40));
        ASSERT_EQ(MessageTextView::attributedAssistantText(text), restartingConversion(text)) << text.toStdString();
    }
}

TEST(Markdown, AnswerGrownPieceByPieceLooksLikeTheWholeAnswer)
{
    QRandomGenerator random(7);
    for (int i = 0; i < 40; ++i) {
        const QString answer = randomMarkdown(random, 200);
        MessageTextView streamed(QString(), ChatMessageRole::Assistant, true);
        for (qsizetype end = 0; end < answer.size();) {
            end = qMin(answer.size(), end + 1 + random.bounded(6));
            streamed.setText(answer.left(end), true);
        }
        streamed.setText(answer, false);
        MessageTextView whole(answer, ChatMessageRole::Assistant, false);
        ASSERT_EQ(shownRuns(*streamed.textView()->document()), shownRuns(*whole.textView()->document()))
            << answer.toStdString();
    }
}

TEST(Markdown, StreamedConversionAlwaysMatchesTheWholeText)
{
    // Found by fuzzing: a heading, then a character beyond the basic plane whose surrogate pair the first piece
    // cuts in half.
    const QString found = QString::fromUtf8(QByteArray::fromBase64(
        "IyB0CnS6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6CmBg8Lq6urq6urq6urq6urq6urq6"
        "urq6urq6urq6CmBg8EggCjBg"));
    StreamingMarkdown pieces;
    for (const qsizetype end : {found.size() / 3, found.size() * 2 / 3, found.size()})
        EXPECT_EQ(pieces.convert(found.left(end)), MessageTextView::attributedAssistantText(found.left(end)))
            << found.left(end).toStdString();

    QRandomGenerator random(31);
    for (int i = 0; i < 1500; ++i) {
        const QString answer = randomMarkdown(random, 120);
        StreamingMarkdown streamed;
        for (qsizetype end = 0; end < answer.size();) {
            end = qMin(answer.size(), end + 1 + random.bounded(4));
            ASSERT_EQ(streamed.convert(answer.left(end)), MessageTextView::attributedAssistantText(answer.left(end)))
                << answer.left(end).toStdString();
        }
    }
}
