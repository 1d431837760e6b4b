#pragma once

#include <QString>
#include <QStringList>

// What glint's arguments ask for. `ask` and `transcribe` read their own options (AskCommand, TranscribeCommand);
// everything else is decided here, before any application object exists, so help, the version and usage errors need no
// display.
struct CommandLine {
    enum class Command { Tray, Annotate, Ask, Transcribe, Help, Version, UsageError };

    Command command = Command::Tray;
    QString error; // for UsageError: what was wrong, without the usage

    // `arguments` without the program name.
    static CommandLine parse(const QStringList &arguments);

    static QString helpText();
    static QString usageText(); // the short form, for usage errors
    static QString versionText();
};
