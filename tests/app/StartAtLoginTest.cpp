#include "app/AutostartEntry.h"
#include "app/StartAtLoginRow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(AutostartEntryTest, ProgramPathsAreQuotedAsDesktopEntriesRequire)
{
    const std::pair<QString, QString> cases[] = {
        {u"/usr/bin/glint"_qs, u"/usr/bin/glint"_qs},
        {u"/opt/My Apps/glint"_qs, u"\"/opt/My Apps/glint\""_qs},
        {u"/tmp/100%/glint"_qs, u"/tmp/100%%/glint"_qs},
        {u"/tmp/a\"b$c`d\\e/glint"_qs, u"\"/tmp/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/glint\""_qs},
        {u"/tmp/line\nbreak/glint"_qs, u"\"/tmp/line\\nbreak/glint\""_qs},
    };
    for (const auto &[program, exec] : cases)
        EXPECT_EQ(AutostartEntry::execValue(program), exec) << program.toStdString();
}

TEST(AutostartEntryTest, WritesRemovesAndHonoursTheDesktopsOwnSwitches)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"config/autostart/org.glint.Glint.desktop"_qs);
    AutostartEntry entry(path, u"/opt/glint/bin/glint"_qs);
    EXPECT_FALSE(entry.isEnabled());
    ASSERT_TRUE(entry.setEnabled(true)) << entry.errorString().toStdString();
    EXPECT_TRUE(entry.isEnabled());
    EXPECT_TRUE(contents(path).contains("\nExec=/opt/glint/bin/glint\nTryExec=/opt/glint/bin/glint\n"));
    EXPECT_EQ(QDir(dir.filePath(u"config/autostart"_qs)).entryList(QDir::Files),
              QStringList{u"org.glint.Glint.desktop"_qs});

    // Session settings of GNOME and Xfce turn an entry off inside the file instead of removing it.
    for (const QByteArray &off : {QByteArray("Hidden=true"), QByteArray("X-GNOME-Autostart-enabled = false")}) {
        write(path, "[Desktop Entry]\nType=Application\nExec=glint\n" + off + "\n[Desktop Action X]\nHidden=false\n");
        EXPECT_FALSE(entry.isEnabled()) << off.toStdString();
    }

    ASSERT_TRUE(entry.setEnabled(false));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(entry.setEnabled(false)); // already off
}

TEST(StartAtLoginRowTest, FollowsTheFileWhenShownAndWritesItWhenToggled)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"autostart/org.glint.Glint.desktop"_qs);
    AutostartEntry elsewhere(path, u"/usr/bin/glint"_qs);
    ASSERT_TRUE(elsewhere.setEnabled(true));
    StartAtLoginRow row(AutostartEntry(path, u"/usr/bin/glint"_qs));
    row.show();
    EXPECT_TRUE(row.toggle()->isChecked());

    row.toggle()->click();
    EXPECT_FALSE(QFile::exists(path));
    row.toggle()->click();
    EXPECT_TRUE(QFile::exists(path));

    row.hide();
    ASSERT_TRUE(elsewhere.setEnabled(false)); // turned off by another program while the window was closed
    row.show();
    EXPECT_FALSE(row.toggle()->isChecked());

    // The folder cannot be made: the switch stays off and says why.
    ASSERT_TRUE(QDir(dir.filePath(u"autostart"_qs)).removeRecursively());
    write(dir.filePath(u"autostart"_qs), "a file where the folder belongs");
    row.toggle()->click();
    EXPECT_FALSE(row.toggle()->isChecked());
    EXPECT_TRUE(row.errorLabel()->isVisibleTo(&row));
    EXPECT_EQ(row.errorLabel()->text(), u"Cannot create the folder " + dir.filePath(u"autostart"_qs));
}
} // namespace
