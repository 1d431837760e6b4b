#include "voice/RecordingDirectory.h"

#include <QDir>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory (not a link) of ours that nobody else may enter, made so if it is ours but too open.
bool isPrivateDirectory(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(native.constData(), 0700) == 0;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

std::optional<QString> RecordingDirectory::path(QString &error)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        const QString candidate = QDir(runtime).filePath(QStringLiteral("glint"));
        if (isPrivateDirectory(candidate))
            return candidate;
    }
    const QString fallback = QDir(QDir::tempPath()).filePath(u"glint-" + QString::number(::getuid()));
    if (isPrivateDirectory(fallback))
        return fallback;
    error = u"No private directory for recordings: " + systemError();
    return std::nullopt;
}

std::optional<QString> RecordingDirectory::createFile(QString &error)
{
    const std::optional<QString> directory = path(error);
    if (!directory)
        return std::nullopt;
    const QString file =
        QDir(*directory).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + u".m4a");
    const int fd =
        ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = u"Cannot create the recording file: " + systemError();
        return std::nullopt;
    }
    ::close(fd);
    return file;
}

void RecordingDirectory::removeLeftovers()
{
    QString error;
    const std::optional<QString> directory = path(error);
    if (!directory)
        return;
    QDir dir(*directory);
    for (const QString &name : dir.entryList({QStringLiteral("*.m4a")}, QDir::Files | QDir::Hidden | QDir::System))
        dir.remove(name);
}
