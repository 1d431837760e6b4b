#pragma once

#include <QList>
#include <QString>

#include <optional>

// GNOME before 48 gives programs no global shortcut of their own, but its settings daemon runs the
// command of every custom keyboard shortcut listed in its `custom-keybindings` setting (the "Custom
// Shortcuts" of GNOME's keyboard settings). Glint's lives at a path of its own in that list; the user's
// others are read, never changed. Through GSettings, so the desktop's settings store (dconf) is written
// as GNOME's own tools write it. Main thread.
class GnomeCustomShortcut {
public:
    static const QString path;

    // A key (virtual key code) with an exact set of modifiers (event-flag bits), as the preferences keep it.
    struct Combination {
        quint16 keyCode = 0;
        quint64 modifiers = 0;
        bool operator==(const Combination &) const = default;
    };

    struct Binding {
        QString path;
        QString name;
        QString command;
        QString accelerator;
    };

    // Whether this session keeps GNOME's custom shortcuts: its schemas are installed and the settings
    // are stored where the desktop reads them.
    static bool isOffered();
    // The combination in GNOME's accelerator notation, "<Control><Alt>space"; empty when the key has no name.
    static QString accelerator(Combination combination);
    // What an accelerator of GNOME's names ("<Primary>" is "<Control>"); none for keys and modifiers the
    // preferences cannot hold.
    static std::optional<Combination> combination(const QString &accelerator);

    // Whether a command runs `glint annotate`, wherever that glint lies; and the command for `program`.
    static bool runsAnnotate(const QString &command);
    static QString annotateCommand(const QString &program);

    // Every custom shortcut in the list, ours among them.
    static QList<Binding> bindings();
    static std::optional<Binding> ours();
    // Adds ours, or brings it up to date, running `command` on `keys`. Refused (with the reason, for the
    // user) when another custom shortcut uses that combination or the settings are locked.
    static QString install(const QString &name, const QString &command, Combination keys);
    // Takes ours out of the list and clears it; the others stay as they are.
    static QString remove();
};
