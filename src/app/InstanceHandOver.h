#pragma once

#include <string>
#include <string_view>

// The sending side of the instance channel, in plain C++ so that the program can hand `glint annotate`
// to a running instance before it loads Qt and the rest of the application: that loading is most of
// the time such a command would take.
class InstanceHandOver {
public:
    InstanceHandOver() = delete;

    static constexpr std::string_view annotate = "annotate";
    static constexpr std::string_view reopen = "reopen";
    static constexpr int timeoutMs = 2000;

    // $XDG_RUNTIME_DIR/glint.socket; without a runtime directory glint.socket in glint-UID in $TMPDIR or
    // /tmp, a directory made private to this user (created 0700 when missing). Empty, with the reason in
    // `error`, when that directory is another user's or open to others: anyone could take the name first.
    static std::string socketPath(std::string *error = nullptr);

    // Sends one command; true when a running instance answered that it took it.
    static bool send(const std::string &socketPath, std::string_view command);

    // `command` as it is sent: `annotate` carries the activation token a Wayland desktop gave this process
    // (XDG_ACTIVATION_TOKEN, from a desktop shortcut), after a blank, so that the running instance's
    // windows may take the keyboard with it.
    static std::string line(std::string_view command);
    // Whether `token` can be an activation token: printable, without blanks, of a sane length.
    static bool isToken(std::string_view token);
};
