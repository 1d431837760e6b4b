#include "app/GnomeShortcutCheck.h"

#include "app/SettingsView.h"
#include "log/DebugLog.h"

#include <QCoreApplication>

namespace {

QString described(GnomeCustomShortcut::Combination keys)
{
    return SettingsView::hotkeyDescription(keys.keyCode, keys.modifiers);
}

// GNOME's notation as the rest of Glint names combinations, where the preferences could hold it.
QString described(const QString &accelerator)
{
    const std::optional<GnomeCustomShortcut::Combination> keys = GnomeCustomShortcut::combination(accelerator);
    return keys ? described(*keys) : accelerator;
}

} // namespace

GnomeShortcutCheck::GnomeShortcutCheck(GnomeCustomShortcut::Combination hotkey)
    : hotkey_(hotkey)
{
}

bool GnomeShortcutCheck::applies()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':');
    return desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive) && GnomeCustomShortcut::isOffered();
}

GnomeShortcutCheck::Found GnomeShortcutCheck::find() const
{
    Found theirs{State::Missing, {}};
    for (const GnomeCustomShortcut::Binding &binding : GnomeCustomShortcut::bindings()) {
        if (binding.accelerator.isEmpty())
            continue;
        if (binding.path == GnomeCustomShortcut::path)
            return {GnomeCustomShortcut::combination(binding.accelerator) == hotkey_ ? State::Ours
                                                                                     : State::OursElsewhere,
                    binding};
        if (GnomeCustomShortcut::runsAnnotate(binding.command))
            theirs = {State::Theirs, binding};
    }
    return theirs;
}

PermissionStatus GnomeShortcutCheck::status() const
{
    const Found found = find();
    switch (found.state) {
    case State::Ours:
        return {true, false,
                tr("GNOME runs Glint on %1: a custom shortcut in its keyboard settings.").arg(described(hotkey_)),
                tr("Remove Shortcut")};
    case State::OursElsewhere:
        return {true, false,
                tr("GNOME runs Glint on %1, not on your hotkey %2.")
                    .arg(described(found.binding.accelerator), described(hotkey_)),
                tr("Update Shortcut")};
    case State::Theirs:
        return {true,
                false,
                tr("Your GNOME shortcut \"%1\" runs Glint on %2.")
                    .arg(found.binding.name, described(found.binding.accelerator)),
                {}};
    case State::Missing:
        break;
    }
    return {false, false,
            !refusal_.isEmpty()
                ? refusal_
                : tr("GNOME gives programs no global shortcut of their own. Glint can add a shortcut to GNOME's "
                     "keyboard settings that runs \"glint annotate\" on %1.")
                      .arg(described(hotkey_)),
            tr("Set Up Shortcut")};
}

void GnomeShortcutCheck::act() const
{
    const State state = find().state;
    if (state == State::Theirs)
        return;
    const QString command = GnomeCustomShortcut::annotateCommand(QCoreApplication::applicationFilePath());
    refusal_ = state == State::Ours ? GnomeCustomShortcut::remove()
                                    : GnomeCustomShortcut::install(QStringLiteral("Glint"), command, hotkey_);
    if (!refusal_.isEmpty())
        DebugLog::log(QStringLiteral("App"), u"GNOME shortcut unchanged reason=" + refusal_);
    else if (state == State::Ours)
        DebugLog::log(QStringLiteral("App"), QStringLiteral("GNOME shortcut removed"));
    else
        DebugLog::log(QStringLiteral("App"), u"GNOME shortcut set binding=" +
                                                 GnomeCustomShortcut::accelerator(hotkey_) + u" command=" + command);
}
