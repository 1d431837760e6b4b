#include "PanelTestSupport.h"

#include "panel/AutoSizingTextView.h"
#include "panel/CodeCopyButtons.h"
#include "panel/MarkdownBlockSplitter.h"
#include "panel/MarkdownDocumentWriter.h"
#include "panel/MessageTextView.h"
#include "panel/QueryPanelTheme.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QDesktopServices>
#include <QFontInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextList>
#include <QTextTable>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using Writer = MarkdownDocumentWriter;

// A run as a reader sees it: its text, in brackets with its looks when it has any
// (b bold, i italic, s struck, c code, a link to its target).
QString describeRun(const QTextFragment &fragment)
{
    const QTextCharFormat format = fragment.charFormat();
    QString looks;
    if (format.fontWeight() >= QFont::DemiBold)
        looks += u'b';
    if (format.fontItalic())
        looks += u'i';
    if (format.fontStrikeOut())
        looks += u's';
    if (QFontInfo(format.font()).fixedPitch())
        looks += u'c';
    if (format.isAnchor())
        looks += u"a " + format.anchorHref();
    return looks.isEmpty() ? fragment.text() : u'[' + looks + u':' + fragment.text() + u']';
}

// One line per block: what kind of block it is, then its runs.
QString describeBlock(const QTextBlock &block)
{
    const QTextBlockFormat format = block.blockFormat();
    QStringList kinds;
    if (const int quotes = format.intProperty(Writer::QuoteLevel))
        kinds << QString(quotes, u'>');
    if (const QTextList *list = block.textList())
        kinds << (format.hasProperty(Writer::ListNumber)
                      ? QString::number(format.intProperty(Writer::ListNumber)) + u'.'
                      : QString(list->format().indent(), u'-'));
    else if (format.indent() > 0)
        kinds << QString(format.indent(), u' ');
    if (format.headingLevel() > 0)
        kinds << u'h' + QString::number(format.headingLevel());
    if (format.hasProperty(Writer::CodeBlockStart))
        kinds << u"code:" + format.stringProperty(Writer::CodeLanguage);
    else if (format.hasProperty(Writer::CodeLine))
        kinds << u"code"_qs;
    if (format.hasProperty(Writer::Rule))
        kinds << u"rule"_qs;
    if (const auto *table = qobject_cast<QTextTable *>(QTextCursor(block).currentFrame())) {
        const QTextTableCell cell = table->cellAt(block.position());
        kinds << QStringLiteral("cell %1,%2").arg(cell.row()).arg(cell.column());
    }
    QString line = kinds.isEmpty() ? u"p"_qs : kinds.join(u' ');
    line += u'|';
    for (auto it = block.begin(); !it.atEnd(); ++it)
        line += describeRun(it.fragment());
    return line;
}

QStringList describe(const QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        lines << describeBlock(block);
    return lines;
}

QStringList rendered(const QString &markdown)
{
    MessageTextView view(markdown, ChatMessageRole::Assistant, false);
    return describe(*view.textView()->document());
}

// The document one parse of the whole text gives, without cutting it into blocks.
QStringList parsedWhole(const QString &markdown)
{
    QTextDocument document;
    Writer::prepare(document);
    Writer(document, QueryPanelTheme::text()).write(markdown);
    return describe(document);
}

} // namespace

void PrintTo(const QString &text, std::ostream *out)
{
    *out << text.toStdString();
}

TEST(Markdown, AnswersReadAsCommonMarkWithTablesAndStrikethrough)
{
    const struct {
        QString markdown;
        QStringList blocks;
    } cases[] = {
        {u"# One\n## Two\n#### Four **b**"_qs, {u"h1|[b:One]"_qs, u"h2|[b:Two]"_qs, u"h4|[b:Four b]"_qs}},
        {u"*it* **b** ~~gone~~ _em_ ***both***"_qs, {u"p|[i:it] [b:b] [s:gone] [i:em] [bi:both]"_qs}},
        {u"run `ls -l` now"_qs, {u"p|run [c:ls -l] now"_qs}},
        // What the expressions of old damaged: code keeps every character.
        {u"```python\ndef __init__(self):\n    return a**b + c**d\n```"_qs,
         {u"code:python|[c:def __init__(self):]"_qs, u"code|[c:    return a**b + c**d]"_qs}},
        {u"a code span `__x__` and `def __init__(self)`"_qs,
         {u"p|a code span [c:__x__] and [c:def __init__(self)]"_qs}},
        {u"snake_case_name and 2 * 3"_qs, {u"p|snake_case_name and 2 * 3"_qs}},
        {u"~~~\nx\n\ny\n~~~\n\n    indented"_qs,
         {u"code:|[c:x]"_qs, u"code|"_qs, u"code|[c:y]"_qs, u"code:|[c:indented]"_qs}},
        // A fence still open shows as code.
        {u"Look:\n```sh\nmake"_qs, {u"p|Look:"_qs, u"code:sh|[c:make]"_qs}},
        {u"```\n```"_qs, {u"code:|"_qs}},
        {u"3. three\n4. four\n   - nested\n     1. deep\n\n   more"_qs,
         {u"3.|three"_qs, u"4.|four"_qs, u"--|nested"_qs, u"1.|deep"_qs, u" |more"_qs}},
        {u"- a\n-\n+ b"_qs, {u"-|a"_qs, u"-|"_qs, u"-|b"_qs}},
        {u"> quoted **b**\n>\n> > deeper"_qs, {u">|quoted [b:b]"_qs, u">>|deeper"_qs}},
        {u"| Name | Size |\n|:--|--:|\n| a | `1` |\n| b |"_qs,
         {u"p|"_qs, u"cell 0,0|[b:Name]"_qs, u"cell 0,1|[b:Size]"_qs, u"cell 1,0|a"_qs, u"cell 1,1|[c:1]"_qs,
          u"cell 2,0|b"_qs, u"cell 2,1|"_qs, u"p|"_qs}},
        {u"above\n\n---\nbelow"_qs, {u"p|above"_qs, u"rule|"_qs, u"p|below"_qs}},
        {u"[site](https://example.org) [mail](mailto:a@b.org) [script](javascript:alert(1)) [file](file:///etc)"_qs,
         {u"p|[a https://example.org:site] [a mailto:a@b.org:mail] script file"_qs}},
        {u"see https://example.org/x."_qs, {u"p|see [a https://example.org/x:https://example.org/x]."_qs}},
        // Raw HTML is text, never markup.
        {u"<b>bold?</b> <script>x</script>\n\n<div>\nblock\n</div>"_qs,
         {u"p|<b>bold?</b> <script>x</script>"_qs, u"p|<div> block </div>"_qs}},
        {u"a\nb  \nc &amp; &copy;"_qs, {u"p|a b\u2028c & ©"_qs}},
    };
    for (const auto &[markdown, blocks] : cases)
        EXPECT_EQ(rendered(markdown), blocks) << markdown.toStdString();
}

TEST(Markdown, StylesComeFromThePanelTheme)
{
    MessageTextView view(u"# H\nbody `code` [l](https://x.org)\n\n```\nblock\n```"_qs, ChatMessageRole::Assistant,
                         false);
    const QTextDocument &document = *view.textView()->document();
    const auto formatOf = [&](const QString &text) {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            for (auto it = block.begin(); !it.atEnd(); ++it)
                if (it.fragment().text().contains(text))
                    return it.fragment().charFormat();
        ADD_FAILURE() << text.toStdString();
        return QTextCharFormat();
    };
    const QTextCharFormat body = formatOf(u"body"_qs);
    EXPECT_EQ(body.foreground().color(), QueryPanelTheme::text());
    EXPECT_EQ(body.font().pointSizeF(), QueryPanelTheme::systemFont(13).pointSizeF());
    EXPECT_GT(formatOf(u"H"_qs).font().pointSizeF(), body.font().pointSizeF());
    EXPECT_EQ(formatOf(u"code"_qs).background().color(), QueryPanelTheme::codeBackground());
    EXPECT_EQ(formatOf(u"code"_qs).font().pointSizeF(), QueryPanelTheme::monospacedFont(12.5).pointSizeF());
    EXPECT_EQ(formatOf(u"l"_qs).foreground().color(), QueryPanelTheme::link());
    EXPECT_EQ(formatOf(u"block"_qs).foreground().color(), QueryPanelTheme::text());

    MessageTextView dimmed(u"**Thinking…**"_qs, ChatMessageRole::Assistant, true);
    EXPECT_EQ(dimmed.textView()->document()->begin().begin().fragment().charFormat().foreground().color(),
              QueryPanelTheme::dimText());
    MessageTextView user(u"**as typed** `x`"_qs, ChatMessageRole::User, false);
    EXPECT_EQ(describe(*user.textView()->document()), QStringList{u"p|**as typed** `x`"_qs});
}

TEST(Markdown, LongCodeLinesWrapWithinTheWidthGiven)
{
    const QString line = u"x = "_qs + QString(400, u'a');
    MessageTextView view(u"```\n"_qs + line + u"\n```\n| " + QString(300, u'b') + u" |\n|--|\n",
                         ChatMessageRole::Assistant, false);
    view.resize(300, view.heightForWidth(300));
    view.show();
    EXPECT_LE(view.textView()->document()->documentLayout()->documentSize().width(), 300);
    EXPECT_GT(view.heightForWidth(300), view.heightForWidth(600));
}

TEST(Markdown, EmptyAnswerStillTakesARow)
{
    MessageTextView view(QString(), ChatMessageRole::Assistant, false);
    EXPECT_GE(view.heightForWidth(400), MessageTextView::minimumHeight);
}

TEST(Markdown, BlocksAreCutOnlyWhereNothingLaterCanChangeThem)
{
    const struct {
        QString text;
        qsizetype settled; // where the settled part ends, from the start
    } cases[] = {
        {u"one\n\ntwo\n"_qs, 5},           {u"one\n\ntwo"_qs, 5}, // a line's start tells, before it is complete
        {u"- a\n\n- b\n"_qs, 0},           {u"- a\n\n1"_qs, 0},   // another item loosens the list
        {u"a\n- b\n\n- c\n"_qs, 0},        {u"a\n\n- b\n"_qs, 3}, // a list only after one
        {u"- a\n\nafter\n"_qs, 5},         {u"1. a\n\n   more\n"_qs, 0},
        {u"```\na\n\nb\n"_qs, 0},                                       // inside an open fence
        {u"```\na\n```\n\nb\n"_qs, 11},    {u"````\n```\n\nb\n"_qs, 0}, // a shorter fence does not close a longer one
        {u"    code\n\n    more\n"_qs, 0}, {u"> q\n\nafter\n"_qs, 5},
        {u"~~~\n~~~\t\n\nb\n"_qs, 0},      {u"|\n---|\n```\n\n```\n\nb\n"_qs, 0}, // a tab after a fence, a table row
        {u"a\n\nb\n\nc\n"_qs, 6},          {u"a\n\v\nb\n"_qs, 0},                 // a vertical tab is text, not a blank
        {u"a\r\n\r\nb\r\n"_qs, 5},         {u"\ta\n\n\r\tb"_qs, 0},               // a carriage return ends a line too
    };
    for (const auto &[text, settled] : cases)
        EXPECT_EQ(MarkdownBlockSplitter::settledEnd(text, 0), settled) << text.toStdString();

    const struct {
        QString tail;
        QString shown;
    } streamed[] = {
        {u"| a | b |\n"_qs, QString()},
        {u"text\n| a | b |\n|--"_qs, u"text\n"_qs},
        {u"| a | b |\n|--|--|\n| 1"_qs, u"| a | b |\n|--|--|\n| 1"_qs},
        {u"items:\n- "_qs, u"items:\n"_qs},
        {u"items:\n12."_qs, u"items:\n"_qs},
        {u"- item"_qs, u"- item"_qs},
        {u"```\n| in code\n- "_qs, u"```\n| in code\n- "_qs},
    };
    for (const auto &[tail, shown] : streamed)
        EXPECT_EQ(tail.left(MarkdownBlockSplitter::streamedEnd(tail)), shown) << tail.toStdString();
}

namespace {

QString randomMarkdown(QRandomGenerator &random, int length)
{
    static const QStringList pieces = {u"*"_qs,         u"**"_qs,
                                       u"_"_qs,         u"`"_qs,
                                       u"```"_qs,       u"~~~"_qs,
                                       u"# "_qs,        u"- "_qs,
                                       u"1. "_qs,       u"> "_qs,
                                       u"| "_qs,        u"|--|"_qs,
                                       u"   "_qs,       u" "_qs,
                                       u"\n"_qs,        u"\n\n"_qs,
                                       u"a"_qs,         u"bc"_qs,
                                       u"é"_qs,         u"😀"_qs,
                                       u"[x]"_qs,       u"(https://a.b)"_qs,
                                       u"[r]: /u\n"_qs, u"<b>"_qs,
                                       u"&amp;"_qs,     u"---"_qs};
    QString text;
    while (text.size() < length)
        text += pieces.at(random.bounded(int(pieces.size())));
    return text;
}

} // namespace

TEST(Markdown, AnswerStreamedPieceByPieceEndsAsOneParseOfTheWhole)
{
    QRandomGenerator random(7);
    // Found by the fuzzer, and a label over two lines.
    const QStringList found = {
        u"|\n---|"_qs,    u"~~~\n~~~\t\n\n\0\n"_qs, u"|\n:-:|\n```\n\n```\n\nx\n"_qs, u"#\n\n>\n"_qs,
        u"[s]:\ufffd"_qs, u"#\n\n#\nx"_qs,          u"[a\nb]\n\n[a\nb]: /u\n"_qs};
    for (int i = 0; i < 150 + found.size(); ++i) {
        const QString answer = i < found.size() ? found.at(i) : randomMarkdown(random, 200);
        MessageTextView streamed(QString(), ChatMessageRole::Assistant, true, true);
        for (qsizetype end = 0; end < answer.size();) {
            end = qMin(answer.size(), end + 1 + random.bounded(6));
            if (end < answer.size() && answer.at(end).isLowSurrogate())
                ++end;
            streamed.setText(answer.left(end), false, true);
        }
        streamed.setText(answer, false, false);
        ASSERT_EQ(describe(*streamed.textView()->document()), parsedWhole(answer)) << answer.toStdString();
    }
}

TEST(Markdown, CopyButtonsCopyEachCodeBlockWithoutItsFences)
{
    MessageTextView view(u"Try:\n```sh\nmake -j2\nmake test\n```\nthen\n\n    indented\n"_qs,
                         ChatMessageRole::Assistant, false);
    view.resize(500, view.heightForWidth(500));
    view.show();
    QCoreApplication::processEvents();
    const QList<QToolButton *> &buttons = view.textView()->copyButtons()->buttons();
    ASSERT_EQ(buttons.size(), 2);
    for (QToolButton *button : buttons) {
        EXPECT_EQ(button->accessibleName(), u"Copy code");
        EXPECT_TRUE(button->isVisible());
    }
    EXPECT_LT(buttons[0]->geometry().bottom(), buttons[1]->geometry().top());
    buttons[0]->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"make -j2\nmake test");
    buttons[1]->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), u"indented");

    view.setText(u"no code now"_qs, false);
    QCoreApplication::processEvents();
    EXPECT_FALSE(buttons[0]->isVisible());

    // Placed as an answer grows, the buttons end where a view of the whole answer puts them.
    const QString answer = u"```\na\n```\n\ntext\n\n```sh\nb\nc\n```\n\n| x |\n|---|\n| 1 |\n\n```\nd\n```\n"_qs;
    const auto placed = [](MessageTextView &shown) {
        shown.resize(500, shown.heightForWidth(500));
        QCoreApplication::processEvents();
        QList<QRect> geometries;
        for (const QToolButton *button : shown.textView()->copyButtons()->buttons())
            if (button->isVisible())
                geometries.append(button->geometry());
        return geometries;
    };
    MessageTextView streamed(QString(), ChatMessageRole::Assistant, false, true);
    streamed.show();
    for (qsizetype end = 1; end <= answer.size(); end += 3) {
        streamed.setText(answer.left(end), false, true);
        placed(streamed);
    }
    streamed.setText(answer, false, false);
    MessageTextView whole(answer, ChatMessageRole::Assistant, false);
    whole.show();
    EXPECT_EQ(placed(streamed), placed(whole));
    EXPECT_EQ(placed(whole).size(), 3);
}

namespace {

class OpenedLinks : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace

TEST(Markdown, ClicksOpenLinksAndDragsSelectText)
{
    OpenedLinks opened;
    for (const char *scheme : {"https", "javascript"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &opened, "open");
    MessageTextView view(u"[web](https://example.org/a) and [bad](javascript:alert(1)) words"_qs,
                         ChatMessageRole::Assistant, false);
    view.resize(500, view.heightForWidth(500));
    view.show();
    AutoSizingTextView *text = view.textView();
    const auto pointAt = [&](int position) {
        QTextCursor cursor(text->document());
        cursor.setPosition(position);
        return text->cursorRect(cursor).center() + QPoint(3, 0);
    };
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, pointAt(1));
    QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, pointAt(14));
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl(u"https://example.org/a"_qs)});

    QTest::mousePress(text->viewport(), Qt::LeftButton, {}, pointAt(9));
    QTest::mouseMove(text->viewport(), pointAt(17));
    QTest::mouseRelease(text->viewport(), Qt::LeftButton, {}, pointAt(17));
    EXPECT_FALSE(text->textCursor().selectedText().isEmpty());
    EXPECT_EQ(opened.urls.size(), 1);
    for (const char *scheme : {"https", "javascript"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

#include "MarkdownTest.moc"
