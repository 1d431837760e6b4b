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
        QSettings(preferencesPath(), QSettings::IniFormat).setValue(QStringLiteral("hasCompletedOnboarding"), true);
    }

    QString logPath() const { return dir.filePath(QStringLiteral("glint.log")); }
    QString configHome() const { return dir.filePath(QStringLiteral("config")); }
    QString preferencesPath() const { return QDir(configHome()).filePath(QStringLiteral("glint/glint.conf")); }

    QString artifactsPath() const
    {
        const QString root = qEnvironmentVariable("GLINT_ARTIFACTS_DIR");
        if (root.isEmpty())
            return dir.filePath(QStringLiteral("artifacts"));
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        return QDir(root).filePath(QString::fromLatin1(test->test_suite_name()) + u'.' +
                                   QString::fromLatin1(test->name()));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GLINT_LOG_FILE"), logPath());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("GLINT_ARTIFACTS_DIR"), artifactsPath());
        env.remove(QStringLiteral("GLINT_UPDATE_FEED_URL"));
        env.remove(QStringLiteral("GLINT_VOICE_MODULE")); // it finds its voice module as installed, beside it
        env.insert(extraEnvironment);
        return env;
    }

    void start(QProcess &process, const QStringList &arguments = {})
    {
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(GLINT_BINARY), arguments);
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
        process.start(QStringLiteral("xdotool"), arguments);
        process.waitForFinished();
        return process.readAllStandardOutput();
    }

    static bool settingsWindowShown()
    {
        return !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                         QStringLiteral("^Glint Settings$")})
                    .trimmed()
                    .isEmpty();
    }

    // The screen rectangles of the windows the first instance shows.
    QList<QRect> visibleWindows() const
    {
        // Every window of the process, whatever its name: "--all" makes the empty name a further condition.
        const QString described = QString::fromLatin1(
            xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(first.processId()), QString(),
                     QStringLiteral("getwindowgeometry"), QStringLiteral("%@")}));
        static const QRegularExpression window(
            QStringLiteral("Position: (-?\\d+),(-?\\d+).*\\n.*Geometry: (\\d+)x(\\d+)"));
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
