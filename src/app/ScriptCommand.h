#pragma once

#include <QByteArray>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

class QCommandLineParser;
class QIODevice;
class SettingsManager;

// What the commands for scripts (`glint ask`, `glint transcribe`) share: their own application object, the tray
// application's log file left untouched (--verbose writes the log to standard error), and the standard streams.
class ScriptCommand {
public:
    ScriptCommand() = delete;

    // `arguments` are the whole command line; returns the exit status.
    using Run = std::function<int(const QStringList &arguments, SettingsManager &settings, QIODevice &input,
                                  QIODevice &output, QIODevice &errors)>;

    static int main(int &argc, char **argv, const Run &run);
    // Adds --verbose and --help to `parser`, which holds the command's own options, and reads `arguments` (the
    // whole command line). Whether they parsed; none once --help has been answered on `output`.
    static std::optional<bool> parse(QCommandLineParser &parser, const QStringList &arguments, QIODevice &output);
    // Says what is wrong, with the command's help, on `errors`; returns the exit status of a usage error.
    static int usageError(const QCommandLineParser &parser, const QStringList &arguments, const QString &problem,
                          QIODevice &errors);
    // Writes `text` and shows it at once.
    static void write(QIODevice &device, const QString &text);
    // The bytes of `source`, a file or "-" for `input`: at most `limit` + 1 of them when a limit is given, so
    // that a caller can tell a source over it; or why the file cannot be opened.
    static std::variant<QByteArray, QString> read(const QString &source, QIODevice &input, qint64 limit = -1);
    // How messages name `source`.
    static QString sourceName(const QString &source);
};
