#pragma once

#include "app/PermissionCheck.h"
#include "input/GnomeCustomShortcut.h"

#include <QCoreApplication>

// The hotkey on GNOME without a GlobalShortcuts portal: met while one of GNOME's custom shortcuts runs
// `glint annotate`. The button adds Glint's own with the hotkey's combination, brings it back to that
// combination, or takes it away. Never blocks: the tray menu and `glint annotate` work without it.
class GnomeShortcutCheck : public PermissionCheck {
    Q_DECLARE_TR_FUNCTIONS(GnomeShortcutCheck)

public:
    explicit GnomeShortcutCheck(GnomeCustomShortcut::Combination hotkey);

    // A GNOME session that keeps custom shortcuts.
    static bool applies();

    PermissionStatus status() const override;
    bool mayBlock() const override { return false; }
    void act() const override;

private:
    enum class State { Missing, Ours, OursElsewhere, Theirs };
    struct Found {
        State state;
        GnomeCustomShortcut::Binding binding;
    };
    Found find() const;

    GnomeCustomShortcut::Combination hotkey_;
    mutable QString refusal_; // why the last change did not happen
};
