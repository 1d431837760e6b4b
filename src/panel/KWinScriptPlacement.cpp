#include "panel/KWinScriptPlacement.h"

#include "log/DebugLog.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryFile>

const QString KWinScriptPlacement::service = QStringLiteral("org.kde.KWin");

// The scripts live in a static library: their resource registration must be pulled in by hand.
static void loadScripts()
{
    Q_INIT_RESOURCE(kwin_scripts);
}

namespace {

const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");

QDBusMessage scriptingCall(const QString &path, const QString &interface, const QString &method)
{
    return QDBusMessage::createMethodCall(KWinScriptPlacement::service, path, interface, method);
}

void logFailure(const QString &reason)
{
    DebugLog::log(QStringLiteral("QueryPanel"), u"Panel placement failed error=" + reason);
}

// Calls `answered` with the reply once KWin gives one; failures are logged.
void callKWin(QObject *context, const QDBusMessage &call, std::function<void(const QDBusMessage &)> answered)
{
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [answered = std::move(answered)](QDBusPendingCallWatcher *reply) {
                         reply->deleteLater();
                         answered(reply->reply());
                     });
}

} // namespace

struct KWinScriptPlacement::Script {
    QString name;
    QTemporaryFile file; // KWin reads it when the script runs
};

bool KWinScriptPlacement::isOffered()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service);
}

KWinScriptPlacement::KWinScriptPlacement(QWidget &window)
    : window_(&window)
{
    static const bool loaded = (loadScripts(), true);
    Q_UNUSED(loaded);
    static int placements = 0;
    objectPath_ = u"/org/glint/Glint/WindowPlacement/" + QString::number(++placements);
    QDBusConnection::sessionBus().registerObject(objectPath_, this, QDBusConnection::ExportScriptableSlots);
}

KWinScriptPlacement::~KWinScriptPlacement()
{
    QDBusConnection::sessionBus().unregisterObject(objectPath_);
    for (const std::shared_ptr<Script> &script : {placing_, activating_}) {
        if (script)
            unload(script->name);
    }
}

void KWinScriptPlacement::place(const QRect &frame, std::function<void()> settled)
{
    if (settled)
        settled_ = std::move(settled);
    load(QStringLiteral(":/kwin/place-window.js"),
         {{u"x"_qs, frame.x()}, {u"bottom"_qs, frame.y() + frame.height()}, {u"activate"_qs, true}});
}

void KWinScriptPlacement::activate()
{
    load(QStringLiteral(":/kwin/activate-window.js"), {});
}

void KWinScriptPlacement::placed()
{
    if (settled_)
        std::exchange(settled_, {})();
}

void KWinScriptPlacement::activated()
{
    if (activating_)
        unload(std::exchange(activating_, nullptr)->name);
}

void KWinScriptPlacement::load(const QString &resource, QJsonObject want)
{
    if (!window_)
        return;
    static int scripts = 0;
    auto script = std::make_shared<Script>();
    script->name = u"glint-" + QString::number(QCoreApplication::applicationPid()) + u'-' + QString::number(++scripts);
    QFile source(resource);
    want.insert(u"pid"_qs, QCoreApplication::applicationPid());
    want.insert(u"caption"_qs, window_->windowTitle());
    want.insert(u"service"_qs, QDBusConnection::sessionBus().baseService());
    want.insert(u"path"_qs, objectPath_);
    want.insert(u"interface"_qs, u"org.glint.Glint.WindowPlacement"_qs);
    if (!source.open(QIODevice::ReadOnly) || !script->file.open() ||
        script->file.write("const want = " + QJsonDocument(want).toJson(QJsonDocument::Compact) + ";\n" +
                           source.readAll()) < 0 ||
        !script->file.flush()) {
        logFailure(u"the placement script could not be written"_qs);
        return;
    }
    // A new placement replaces the old one, which would otherwise put the window back where it was.
    std::shared_ptr<Script> &slot = resource.contains(u"place") ? placing_ : activating_;
    if (slot)
        unload(slot->name);
    slot = script;
    QDBusMessage call = scriptingCall(u"/Scripting"_qs, scriptingInterface, u"loadScript"_qs);
    call << script->file.fileName() << script->name;
    callKWin(this, call, [this, script](const QDBusMessage &reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().value(0).toInt() < 0)
            logFailure(reply.errorMessage().isEmpty() ? u"KWin did not load the placement script"_qs
                                                      : reply.errorMessage());
        else
            run(script, reply.arguments().value(0).toInt(), false);
    });
}

void KWinScriptPlacement::run(const std::shared_ptr<Script> &script, int id, bool plasma6Path)
{
    // Plasma 5 puts a loaded script at /<id>, Plasma 6 at /Scripting/Script<id>.
    const QString path = (plasma6Path ? u"/Scripting/Script"_qs : u"/"_qs) + QString::number(id);
    callKWin(this, scriptingCall(path, u"org.kde.kwin.Script"_qs, u"run"_qs),
             [this, script, id, plasma6Path](const QDBusMessage &reply) {
                 if (reply.type() == QDBusMessage::ReplyMessage)
                     return;
                 if (!plasma6Path)
                     run(script, id, true);
                 else
                     logFailure(reply.errorMessage());
             });
}

void KWinScriptPlacement::unload(const QString &name)
{
    QDBusMessage call = scriptingCall(u"/Scripting"_qs, scriptingInterface, u"unloadScript"_qs);
    call << name;
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
}
