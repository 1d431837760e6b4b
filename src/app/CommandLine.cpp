#include "app/CommandLine.h"

CommandLine CommandLine::parse(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return {};
    const QString &first = arguments.first();
    if (first == u"ask")
        return {Command::Ask, {}}; // its options are its own
    if (first == u"transcribe")
        return {Command::Transcribe, {}};
    Command command;
    if (first == u"annotate")
        command = Command::Annotate;
    else if (first == u"--help" || first == u"-h")
        command = Command::Help;
    else if (first == u"--version" || first == u"-v")
        command = Command::Version;
    else
        return {Command::UsageError,
                (first.startsWith(u'-') ? u"unknown option '"_qs : u"unknown command '"_qs) + first + u'\''};
    if (arguments.size() > 1)
        return {Command::UsageError, u"unexpected argument '" + arguments[1] + u"' after '" + first + u'\''};
    return {command, {}};
}

QString CommandLine::usageText()
{
    return QStringLiteral("Usage: glint [annotate]\n"
                          "       glint ask [--provider NAME] [--model ID] [--image FILE|-] [--verbose] QUESTION\n"
                          "       glint transcribe [--service NAME] [--verbose] FILE|-\n"
                          "       glint --help | --version\n");
}

QString CommandLine::helpText()
{
    return usageText() + QString::fromLatin1(R"(
Point at the screen and ask. Glint lives in the system tray: Ctrl+Alt+Space freezes the screen,
you circle what you mean, and a vision model answers your question about it.

Commands:
  (none)         Start Glint in the system tray, or open the settings of the running one.
  annotate       Start an annotation, as the hotkey does (bind it to a desktop shortcut).
  ask            Ask one question, optionally about an image; the answer streams to standard
                 output. 'glint ask --help' describes its options.
  transcribe     Print the transcript of a recording, through the service that transcribes
                 spoken questions. 'glint transcribe --help' describes its options.

Options:
  -h, --help     Show this help.
  -v, --version  Show the version.

See glint(1) for the environment variables and files.
)");
}

QString CommandLine::versionText()
{
    return QStringLiteral("glint " GLINT_VERSION "\n");
}
