#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>

// The built application, started as a user would, in a private configuration, runtime and log. Its panel
// pictures go to a folder of the test's own: under GLINT_ARTIFACTS_DIR when that is set, else temporary.
class GlintE2EFixture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess first;
    QProcessEnvironment extraEnvironment; // added to every start

    // Set-up counts as done: a test of the first start removes the preferences file.
    void SetUp() override
    {
        QDir(artifactsPath()).removeRecursively();
        QSettings(preferencesPath(), QSettings::IniFormat).setValue(u"hasCompletedOnboarding"_qs, true);
    }

    QString logPath() const { return dir.filePath(u"glint.log"_qs); }
    QString configHome() const { return dir.filePath(u"config"_qs); }
    QString preferencesPath() const { return QDir(configHome()).filePath(u"glint/glint.conf"_qs); }

    QString artifactsPath() const
    {
        const QString root = qEnvironmentVariable("GLINT_ARTIFACTS_DIR");
        if (root.isEmpty())
            return dir.filePath(u"artifacts"_qs);
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        return QDir(root).filePath(QString::fromLatin1(test->test_suite_name()) + u'.' +
                                   QString::fromLatin1(test->name()));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"GLINT_LOG_FILE"_qs, logPath());
        env.insert(u"XDG_CONFIG_HOME"_qs, configHome());
        env.insert(u"XDG_RUNTIME_DIR"_qs, dir.path());
        env.insert(u"QT_QPA_PLATFORM"_qs, u"xcb"_qs);
        env.insert(u"GLINT_ARTIFACTS_DIR"_qs, artifactsPath());
        env.remove(u"GLINT_UPDATE_FEED_URL"_qs);
        env.remove(u"GLINT_VOICE_MODULE"_qs); // it finds its voice module as installed, beside it
        env.insert(extraEnvironment);
        return env;
    }

    QString program = QStringLiteral(GLINT_BINARY); // what start() and invoke() run

    void start(QProcess &process, const QStringList &arguments = {})
    {
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Runs a second invocation to its end; its exit status.
    int invoke(const QStringList &arguments = {})
    {
        QProcess process;
        start(process, arguments);
        if (!process.waitForFinished(10000))
            return -1;
        return process.exitCode();
    }

    QStringList logLines() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
            lines << line.mid(line.indexOf(u"] [") + 2); // without the time
        return lines;
    }

    bool waitForLog(const QString &line, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return logLines().contains(line); }, timeoutMs);
    }

    // The first line that starts with `prefix`, waiting for it; empty when none came.
    QString waitForLogStartingWith(const QString &prefix, int timeoutMs = 10000)
    {
        QString found;
        const bool came = QTest::qWaitFor(
            [&] {
                for (const QString &line : logLines()) {
                    if (line.startsWith(prefix)) {
                        found = line;
                        return true;
                    }
                }
                return false;
            },
            timeoutMs);
        return came ? found : QString();
    }

    static QByteArray xdotool(const QStringList &arguments)
    {
        QProcess process;
        process.start(u"xdotool"_qs, arguments);
        process.waitForFinished();
        return process.readAllStandardOutput();
    }

    static bool settingsWindowShown()
    {
        return !xdotool({u"search"_qs, u"--onlyvisible"_qs, u"--name"_qs, u"^Glint Settings$"_qs}).trimmed().isEmpty();
    }

    // The screen rectangles of the windows the first instance shows.
    QList<QRect> visibleWindows() const
    {
        // Every window of the process, whatever its name: "--all" makes the empty name a further condition.
        const QString described = QString::fromLatin1(
            xdotool({u"search"_qs, u"--all"_qs, u"--onlyvisible"_qs, u"--pid"_qs, QString::number(first.processId()),
                     QString(), u"getwindowgeometry"_qs, u"%@"_qs}));
        static const QRegularExpression window(u"Position: (-?\\d+),(-?\\d+).*\\n.*Geometry: (\\d+)x(\\d+)"_qs);
        QList<QRect> windows;
        for (auto it = window.globalMatch(described); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            windows << QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                             m.captured(4).toInt());
        }
        return windows;
    }

    void TearDown() override
    {
        if (HasFailure())
            std::cerr << "Log of the application:\n" << logLines().join(u'\n').toStdString() << '\n';
        if (first.state() != QProcess::NotRunning) {
            first.terminate();
            if (!first.waitForFinished(5000))
                first.kill();
        }
    }
};
