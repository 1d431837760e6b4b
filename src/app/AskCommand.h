#pragma once

#include <QStringList>

class QIODevice;
class SettingsManager;

// `glint ask [--provider anthropic|openai|compatible] [--model ID] [--image FILE|-] [--verbose] QUESTION...`: one
// question through the same providers, image preparation and system prompt as the panel, the answer
// streamed to standard output as it arrives.
class AskCommand {
public:
    AskCommand() = delete;

    // The whole command, for main() when argv[1] is "ask": builds its own application object, keeps the
    // tray application's log file untouched and returns the exit status.
    static int main(int &argc, char **argv);

    // Needs an application object. `arguments` are the whole command line, "ask" included. Returns 0
    // when the answer arrived (also one cut at the length limit, which standard error notes), 1 when it
    // failed, 2 for a usage error and 3 when the model declined to answer.
    static int run(const QStringList &arguments, SettingsManager &settings, QIODevice &input, QIODevice &output,
                   QIODevice &errors);
};
