#include "voice/VoiceModule.h"

#include "log/DebugLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

QString installedPath()
{
    const QString overridden = qEnvironmentVariable("GLINT_VOICE_MODULE");
    if (!overridden.isEmpty())
        return overridden;
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QLatin1String(VoiceModule::fileName));
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(
        programDir.filePath(QStringLiteral(GLINT_VOICE_MODULE_DIR "/") + QLatin1String(VoiceModule::fileName)));
}

} // namespace

VoiceModule::VoiceModule(const QString &path)
    : path_(path)
{
}

VoiceModule &VoiceModule::installed()
{
    static VoiceModule module(installedPath());
    return module;
}

const VoiceBackend *VoiceModule::backend(QString &error)
{
    std::call_once(loaded_, [this] { load(); });
    if (!backend_)
        error = error_;
    return backend_;
}

void VoiceModule::load()
{
    QLibrary library(path_);
    // The backend's code and objects live as long as the process; the module is never unloaded.
    library.setLoadHints(QLibrary::PreventUnloadHint);
    using Entry = const VoiceBackend *(*)();
    const auto entry = library.load() ? reinterpret_cast<Entry>(library.resolve(VoiceBackend::entryPoint)) : nullptr;
    const VoiceBackend *offered = entry ? entry() : nullptr;
    if (offered && offered->version == VoiceBackend::currentVersion) {
        backend_ = offered;
        DebugLog::log(QStringLiteral("Voice"), u"Voice module loaded path=" + path_);
        return;
    }
    // QLibrary's own complaint about a missing file names the last variant it tried, not the path.
    const QString reason = !QFileInfo::exists(path_) ? QStringLiteral("no voice module at %1").arg(path_)
                           : !library.isLoaded()     ? library.errorString()
                           : !offered                ? QStringLiteral("%1 offers no voice backend").arg(path_)
                                                     : QStringLiteral("%1 is from another build").arg(path_);
    error_ = u"Cannot record: " + reason;
    DebugLog::log(QStringLiteral("Voice"), u"Voice module unavailable, nothing can be recorded: " + reason);
}
