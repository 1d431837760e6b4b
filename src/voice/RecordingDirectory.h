#pragma once

#include <QString>

#include <optional>

// Where recordings live while they are transcribed: a directory only the user can enter,
// $XDG_RUNTIME_DIR/glint (or a private directory under the temporary directory when the runtime
// directory is missing or unsafe), holding files only the user can read.
class RecordingDirectory {
public:
    RecordingDirectory() = delete;

    // The directory, created if need be; none (with `error` set) when no private place can be made.
    static std::optional<QString> path(QString &error);

    // A new empty file named by a fresh UUID with the extension "m4a", created with mode 0600.
    static std::optional<QString> createFile(QString &error);

    // Deletes recordings a previous run could not delete (it crashed or was killed).
    static void removeLeftovers();
};
