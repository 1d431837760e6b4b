#include "app/AppDelegate.h"

#include "log/DebugLog.h"
#include "session/AnnotationSession.h"
#include "settings/SettingsManager.h"

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    DebugLog::setFilePath(qEnvironmentVariable("GLINT_LOG_FILE", QString::fromLatin1(DebugLog::defaultFilePath)));
    DebugLog::reset();
    DebugLog::log(QStringLiteral("App"), QStringLiteral("Application did finish launching"));

    settings_ = std::make_unique<SettingsManager>();
    session_ = std::make_unique<AnnotationSession>();
    session_->setSettings(settings_.get());
}
