#include "app/AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {
// A string value as desktop entries store it.
QString escaped(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\t', QStringLiteral("\\t"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

QString entryValue(const QByteArray &contents, const QString &key)
{
    bool inMainGroup = false;
    for (const QByteArray &rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'['))
            inMainGroup = line == u"[Desktop Entry]";
        else if (inMainGroup && line.section(u'=', 0, 0).trimmed() == key)
            return line.section(u'=', 1).trimmed();
    }
    return {};
}
} // namespace

QString AutostartEntry::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/autostart/org.glint.Glint.desktop";
}

AutostartEntry::AutostartEntry(QString filePath, QString program)
    : filePath_(std::move(filePath))
    , program_(program.isEmpty() ? QCoreApplication::applicationFilePath() : std::move(program))
{
}

bool AutostartEntry::isEnabled() const
{
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray contents = file.read(64 * 1024);
    return entryValue(contents, QStringLiteral("Hidden")) != u"true" &&
           entryValue(contents, QStringLiteral("X-GNOME-Autostart-enabled")) != u"false";
}

bool AutostartEntry::setEnabled(bool enabled)
{
    error_.clear();
    if (!enabled) {
        QFile file(filePath_);
        if (!file.exists() || file.remove())
            return true;
        error_ = u"Cannot remove " + filePath_ + u": " + file.errorString();
        return false;
    }
    const QString folder = QFileInfo(filePath_).absolutePath();
    if (!QDir().mkpath(folder)) {
        error_ = u"Cannot create the folder " + folder;
        return false;
    }
    QSaveFile file(filePath_);
    // With TryExec, desktops skip the entry once the program has been removed, instead of failing at login.
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Glint\n"
                                         "Comment=Circle something on the screen and ask an AI model about it\n"
                                         "Exec=%1\n"
                                         "TryExec=%2\n"
                                         "Icon=org.glint.Glint\n"
                                         "Terminal=false\n"
                                         "StartupNotify=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(program_), escaped(program_));
    if (file.open(QIODevice::WriteOnly) && file.write(entry.toUtf8()) >= 0 && file.commit())
        return true;
    error_ = u"Cannot write " + filePath_ + u": " + file.errorString();
    return false;
}

QString AutostartEntry::execValue(const QString &program)
{
    // An argument with a reserved character goes in double quotes, inside which four characters take a
    // backslash; a percent sign would start a field code. The whole value is then an escaped string.
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString argument = program;
    argument.replace(u'%', QStringLiteral("%%"));
    if (std::any_of(argument.cbegin(), argument.cend(), [](QChar c) { return reserved.contains(c); })) {
        QString quoted = QStringLiteral("\"");
        for (QChar c : std::as_const(argument)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        argument = quoted + u'"';
    }
    return escaped(argument);
}
