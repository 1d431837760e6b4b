#include "panel/QueryInputTextView.h"
#include "panel/QueryPanelTheme.h"
#include "panel/QueryTextView.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Field {
    QueryInputTextView view;
    Field()
    {
        view.configure(u"Ask"_qs, QueryPanelTheme::text(), QueryPanelTheme::dimText());
        view.resize(500, view.sizeHint().height());
        view.show();
    }
    QueryTextView *text() { return view.textView(); }
};

} // namespace

TEST(QueryInputTextView, ReturnSubmitsAndModifiedReturnBreaksTheLine)
{
    Field field;
    QSignalSpy submitted(&field.view, &QueryInputTextView::submitRequested);
    QSignalSpy began(&field.view, &QueryInputTextView::emptyEnterPressBegan);

    QTest::keyClick(field.text(), Qt::Key_Return);
    EXPECT_EQ(submitted.count(), 0);
    EXPECT_EQ(began.count(), 1);
    EXPECT_EQ(field.view.text(), QString()); // no newline on an empty field

    QTest::keyClicks(field.text(), u"hi"_qs);
    QTest::keyClick(field.text(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(field.text(), Qt::Key_Enter, Qt::AltModifier);
    EXPECT_EQ(field.view.text(), u"hi\n\n"_qs); // plain line feeds, never line separators
    EXPECT_EQ(submitted.count(), 0);

    QTest::keyClick(field.text(), Qt::Key_Return);
    QTest::keyClick(field.text(), Qt::Key_Enter);
    EXPECT_EQ(submitted.count(), 2);
}

TEST(QueryInputTextView, EscapeCancelsEvenWithText)
{
    Field field;
    QSignalSpy cancelled(&field.view, &QueryInputTextView::cancelRequested);
    QTest::keyClicks(field.text(), u"question"_qs);
    QTest::keyClick(field.text(), Qt::Key_Escape);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(field.view.text(), u"question"_qs);
}

TEST(QueryInputTextView, KeyRepeatOnEmptyFieldIsOneHold)
{
    Field field;
    QSignalSpy began(&field.view, &QueryInputTextView::emptyEnterPressBegan);
    QSignalSpy ended(&field.view, &QueryInputTextView::emptyEnterPressEnded);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(field.text(), &press);
    QApplication::sendEvent(field.text(), &repeat);
    QApplication::sendEvent(field.text(), &repeat);
    // A repeat X11 sent as a release and a press that were not recognised as one.
    QApplication::sendEvent(field.text(), &release);
    QApplication::sendEvent(field.text(), &press);
    QApplication::sendEvent(field.text(), &release);
    EXPECT_TRUE(ended.wait());
    EXPECT_EQ(began.count(), 1);
    EXPECT_EQ(ended.count(), 1);
}

TEST(QueryInputTextView, GrowsFrom28To92ThenScrolls)
{
    Field field;
    QSignalSpy heights(&field.view, &QueryInputTextView::heightChanged);
    EXPECT_EQ(field.view.currentIntrinsicHeight(), QueryInputTextView::minimumHeight);

    field.text()->setPlainText(u"one\ntwo"_qs);
    const int twoLines = field.view.currentIntrinsicHeight();
    EXPECT_GT(twoLines, QueryInputTextView::minimumHeight);
    EXPECT_EQ(heights.count(), 1);

    field.text()->setPlainText(QString(u"line\n"_qs).repeated(20));
    EXPECT_EQ(field.view.currentIntrinsicHeight(), QueryInputTextView::maximumHeight);
    EXPECT_EQ(field.view.sizeHint().height(), QueryInputTextView::maximumHeight);

    field.text()->clear();
    EXPECT_EQ(field.view.currentIntrinsicHeight(), QueryInputTextView::minimumHeight);
    EXPECT_EQ(heights.count(), 3);
}

TEST(QueryInputTextView, PlaceholderHidesForTextAndHintLastsFromItsLatestShowing)
{
    Field field;
    EXPECT_EQ(field.view.placeholderField()->text(), u"Ask"_qs);
    field.text()->setPlainText(u"  \n"_qs);
    EXPECT_FALSE(field.view.placeholderField()->isHidden());
    field.text()->setPlainText(u"x"_qs);
    EXPECT_TRUE(field.view.placeholderField()->isHidden());
    field.text()->clear();

    field.view.showTemporaryPlaceholder(u"Hint"_qs, 300);
    QTest::qWait(200);
    field.view.showTemporaryPlaceholder(u"Hint"_qs, 300);
    QTest::qWait(200);
    EXPECT_EQ(field.view.placeholderField()->text(), u"Hint"_qs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return field.view.placeholderField()->text() == u"Ask"_qs; }, 2000));
}
