#include "app/IdleMemory.h"

#include <QFile>
#include <QLibrary>
#include <QLocale>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {
// Resident kB of the first segment of the loaded library whose file name contains `name`.
qint64 residentTables(const QString &name)
{
    QFile smaps(u"/proc/self/smaps"_qs);
    if (!smaps.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QStringList lines = QString::fromLatin1(smaps.readAll()).split(u'\n');
    static const QRegularExpression firstSegment(u"^[0-9a-f]+-[0-9a-f]+ r--p 00000000 .*"_qs);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains(name) || !firstSegment.match(lines[i]).hasMatch())
            continue;
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            if (lines[j].startsWith(u"Rss:"))
                return lines[j].split(u' ', Qt::SkipEmptyParts).value(1).toLongLong();
        }
    }
    return -1;
}

TEST(IdleMemoryTest, LibraryTablesLeaveMemoryAndLibrariesLoadedAfterwardsStillWork)
{
    const qint64 before = residentTables(u"libQt6Core.so"_qs);
    ASSERT_GT(before, 0);

    IdleMemory::giveBack();
    EXPECT_LT(residentTables(u"libQt6Core.so"_qs), before / 4);

    // Loading a library binds it against the tables just let go; its code must run as before.
    QLibrary crypt(u"crypt"_qs, 1);
    using CryptFunction = char *(*)(const char *, const char *);
    const auto hash = reinterpret_cast<CryptFunction>(crypt.resolve("crypt"));
    ASSERT_NE(hash, nullptr) << crypt.errorString().toStdString();
    EXPECT_STREQ(hash("glint", "$1$salt$"), "$1$salt$dk1/b9XujlGt5RAy/m2iL.");
    // And the relocated data of the libraries loaded before: Qt's own metadata and string tables.
    EXPECT_EQ(QString::number(255, 16) + QLocale::c().toString(1.5), u"ff1.5"_qs);
}
} // namespace
