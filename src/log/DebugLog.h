#pragma once

#include <QString>

// The one diagnostic channel: every line goes to standard output at once and is appended to the log
// file by a single background writer, in the order the calls were made.
class DebugLog {
public:
    DebugLog() = delete;

    static constexpr const char *defaultFilePath = "/tmp/glint.log";

    // Builds "[<UTC time>] [<category>] <message>", echoes it and queues the file append. Any thread.
    static void log(const QString &category, const QString &message);

    // Empties the log file after every append queued before it has been written.
    static void reset();

    // Blocks until every queued append has been written (tests and orderly shutdown).
    static void flush();

    // Where lines go. An empty path means no file; a null stream means no echo. Takes effect for lines
    // logged afterwards. Defaults: defaultFilePath and stdout.
    static void setFilePath(const QString &path);
    static void setEcho(FILE *stream);

    static QString formatLine(const QString &category, const QString &message);
};
