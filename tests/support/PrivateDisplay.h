#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

// A virtual X display of the test's own, optionally with openbox managing it; stopped with the object.
// What runs there cannot disturb the shared display of the other tests, nor be disturbed by them.
class PrivateDisplay {
public:
    explicit PrivateDisplay(bool windowManager, const QString &size = QStringLiteral("1280x800x24"))
    {
        QTemporaryFile numberFile;
        if (!numberFile.open())
            return;
        server_.setStandardOutputFile(numberFile.fileName());
        server_.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), size, QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                       // Not reset when the last client leaves: a short-lived one (xdotool, xprop) may
                       // leave before a longer-lived one has connected.
                       QStringLiteral("-noreset")});
        if (!server_.waitForStarted(5000))
            return;
        for (int attempt = 0; attempt < 100 && name_.isEmpty(); ++attempt) {
            QTest::qWait(50);
            numberFile.seek(0);
            if (const QString number = QString::fromUtf8(numberFile.readAll()).trimmed(); !number.isEmpty())
                name_ = u':' + number;
        }
        if (name_.isEmpty() || !windowManager)
            return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), name_);
        manager_.setProcessEnvironment(environment);
        manager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        // Managed once the window manager has announced itself on the root window.
        QProcess check;
        check.setProcessEnvironment(environment);
        for (int attempt = 0; attempt < 100; ++attempt) {
            check.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            check.waitForFinished(5000);
            if (check.readAllStandardOutput().contains("window id"))
                break;
            QTest::qWait(50);
        }
    }

    ~PrivateDisplay()
    {
        for (QProcess *process : {&manager_, &server_}) {
            process->terminate();
            process->waitForFinished(5000);
        }
    }

    // ":N", or empty when the server did not start.
    const QString &name() const { return name_; }

private:
    QProcess server_;
    QProcess manager_;
    QString name_;
};
