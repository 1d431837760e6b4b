#pragma once

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Tests that lock a keyring run again in a child process, in a session bus of their own with a
// gnome-keyring whose login keyring has a known password, so the shared keyring of the other tests stays
// unlocked. The child has no display: an unlock prompt cannot open there and is dismissed at once.
namespace PrivateKeyring {

inline const QString password = QStringLiteral("glint-locked");
inline const QString loginCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");

inline bool isChild()
{
    return qEnvironmentVariableIsSet("GLINT_KEYCHAIN_CHILD");
}

// Runs the tests matching `filter` in a child process with `environment` added, inside `command` when one
// is given, and expects them to pass.
inline void runChild(const QString &filter, QProcessEnvironment environment, const QStringList &command = {})
{
    QProcess child;
    environment.insert(QStringLiteral("GLINT_KEYCHAIN_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList self{QCoreApplication::applicationFilePath(), u"--gtest_filter=" + filter};
    child.start(command.isEmpty() ? self.first() : command.first(),
                command.mid(1) + (command.isEmpty() ? self.mid(1) : self));
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().constData();
}

// Runs the tests matching `filter` in a private session with its own keyring.
inline void runInPrivateSession(const QString &filter)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const QString script =
        u"printf " + password +
        u" | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &"
        " keyring=$!; for i in $(seq 100); do dbus-send --session --print-reply --dest=org.freedesktop.DBus /"
        " org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q 'boolean true' && break;"
        " sleep 0.05; done; \"$@\"; status=$?; kill $keyring; exit $status";
    runChild(filter, env,
             {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
              script, QStringLiteral("sh")});
}

inline QDBusMessage serviceCall(const QString &interface, const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"), interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

inline bool lockLogin()
{
    return serviceCall(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                       {QVariant::fromValue(QList<QDBusObjectPath>{QDBusObjectPath(loginCollection)})})
               .type() == QDBusMessage::ReplyMessage;
}

// With the password, as a login manager does, since no prompt can be answered here.
inline bool unlockLogin()
{
    const QDBusMessage opened =
        serviceCall(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
                    {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (opened.type() != QDBusMessage::ReplyMessage || opened.arguments().size() < 2)
        return false;
    QDBusArgument secret;
    secret.beginStructure();
    secret << opened.arguments().at(1).value<QDBusObjectPath>() << QByteArray() << password.toUtf8()
           << QStringLiteral("text/plain");
    secret.endStructure();
    return serviceCall(QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                       QStringLiteral("UnlockWithMasterPassword"),
                       {QVariant::fromValue(QDBusObjectPath(loginCollection)), QVariant::fromValue(secret)})
               .type() == QDBusMessage::ReplyMessage;
}

} // namespace PrivateKeyring
