#pragma once

#include <QStringList>

class QIODevice;
class SettingsManager;

// `glint transcribe [--service automatic|replicate|openai|compatible] [--verbose] FILE|-`: the transcript of a
// recording on standard output, through the same services as spoken questions in the panel.
class TranscribeCommand {
public:
    TranscribeCommand() = delete;

    // Larger recordings are refused before anything is read into memory or sent.
    static constexpr qint64 maximumAudioBytes = 100 * 1024 * 1024;

    // The whole command, for main() when argv[1] is "transcribe"; returns the exit status.
    static int main(int &argc, char **argv);

    // Needs an application object. `arguments` are the whole command line, "transcribe" included. Returns 0
    // with a transcript, 1 when there is none (nothing spoken, or a failure), 2 for a usage error.
    static int run(const QStringList &arguments, SettingsManager &settings, QIODevice &input, QIODevice &output,
                   QIODevice &errors);
};
