#include "providers/LineAssembler.h"

#include <gtest/gtest.h>

namespace {

// Feeds the chunks in order and returns every line, the unterminated last one included.
QStringList assemble(const QList<QByteArray> &chunks)
{
    LineAssembler assembler;
    QStringList lines;
    for (const QByteArray &chunk : chunks)
        lines += assembler.feed(chunk);
    return lines + assembler.finish();
}

TEST(LineAssembler, LineFeedsEndLinesAndTheLastLineNeedsNone)
{
    EXPECT_EQ(assemble({"one\n\ntwo\nthree"}), (QStringList{"one", "", "two", "three"}));
    EXPECT_EQ(assemble({"one\n"}), QStringList{"one"});
    EXPECT_EQ(assemble({""}), QStringList{});
}

TEST(LineAssembler, CarriageReturnsAreDroppedWhereverTheyStand)
{
    EXPECT_EQ(assemble({"data: a\r\n\r\n", "b\rc\r", "\n\r"}), (QStringList{"data: a", "", "bc"}));
}

TEST(LineAssembler, LinesAndCharactersMaySpanChunks)
{
    const QByteArray text = "event: x\r\ndata: Gr\xc3\xbc\xc3\x9f"
                            "e \xe2\x9c\x93\n";
    QList<QByteArray> bytes;
    for (char c : text)
        bytes << QByteArray(1, c);
    EXPECT_EQ(assemble(bytes), (QStringList{"event: x", u"data: Grüße ✓"_qs}));
}

TEST(LineAssembler, InvalidUtf8DropsOnlyItsOwnLine)
{
    EXPECT_EQ(assemble({"good\nbad \xff\ncut \xe2\x9c\nover\xc0\xaf\n", "fine"}), (QStringList{"good", "fine"}));
    EXPECT_EQ(assemble({"last \xe2\x9c"}), QStringList{});
}

TEST(LineAssembler, ByteOrderMarkStaysText)
{
    EXPECT_EQ(assemble({"\xef\xbb\xbf"
                        "data: x\n"}),
              QStringList{u"\ufeffdata: x"_qs});
}

} // namespace
