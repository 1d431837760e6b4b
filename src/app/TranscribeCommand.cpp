#include "app/TranscribeCommand.h"

#include "app/ScriptCommand.h"
#include "settings/SettingsManager.h"
#include "voice/StandardTranscriptionFactory.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QLocale>
#include <QMimeDatabase>

#include <variant>

namespace {

// The keys as the panel would find them; the environment stands in for a keyring without them, as for
// `glint ask`. Also why a key could not be read, for the message when no service can answer.
QHash<QString, QString> readKeys(const SettingsManager &settings, QString &problem)
{
    const std::pair<QString, const char *> accounts[] = {
        {SettingsManager::replicateKeyAccount, "REPLICATE_API_TOKEN"},
        {SettingsManager::openAIKeyAccount, "OPENAI_API_KEY"},
        {SettingsManager::compatibleKeyAccount, nullptr},
    };
    QHash<QString, QString> keys;
    for (const auto &[account, variable] : accounts) {
        const StoredSecret stored = settings.keychainRead(account);
        keys.insert(account, stored.isSet() || !variable ? stored.value : qEnvironmentVariable(variable));
        if (!stored.isKnown())
            problem = stored.problem() + u' ';
    }
    return keys;
}

// The audio of `source` ("-" for standard input) as it is uploaded, or why there is none. Only its format
// travels with it, never its name.
std::variant<RecordingTranscriptionService::Clip, QString> audioClip(const QString &source, QIODevice &input)
{
    const std::variant<QByteArray, QString> read =
        ScriptCommand::read(source, input, TranscribeCommand::maximumAudioBytes);
    if (const QString *problem = std::get_if<QString>(&read))
        return *problem;
    const QByteArray &audio = std::get<QByteArray>(read);
    const QString name = ScriptCommand::sourceName(source);
    if (audio.size() > TranscribeCommand::maximumAudioBytes)
        return u"The recording in " + name + u" is larger than " +
               QLocale::c().formattedDataSize(TranscribeCommand::maximumAudioBytes, 0) + u"; nothing was sent.";
    if (audio.isEmpty())
        return u"No audio in " + name;
    const QMimeType type = source == u"-" ? QMimeDatabase().mimeTypeForData(audio)
                                          : QMimeDatabase().mimeTypeForFileNameAndData(source, audio);
    const QString suffix = type.preferredSuffix().isEmpty() ? QStringLiteral("bin") : type.preferredSuffix();
    return RecordingTranscriptionService::Clip{audio, u"audio." + suffix, type.name()};
}

} // namespace

int TranscribeCommand::main(int &argc, char **argv)
{
    return ScriptCommand::main(argc, argv, &TranscribeCommand::run);
}

int TranscribeCommand::run(const QStringList &arguments, SettingsManager &settings, QIODevice &input, QIODevice &output,
                           QIODevice &errors)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Print the transcript of a recording."));
    const QCommandLineOption serviceOption(
        u"service"_qs, u"automatic, replicate, openai or compatible (default: the settings)."_qs, u"name"_qs);
    parser.addOption(serviceOption);
    parser.addPositionalArgument(u"file"_qs, u"The recording, or - for standard input."_qs, u"FILE|-"_qs);
    const std::optional<bool> parsed = ScriptCommand::parse(parser, arguments, output);
    if (!parsed)
        return 0;
    const QString service = parser.isSet(serviceOption) ? parser.value(serviceOption) : settings.transcriptionService();
    QString usage;
    if (!*parsed)
        usage = parser.errorText();
    else if (!SettingsManager::transcriptionServices.contains(service))
        usage = u"Unknown service " + service + u"; use automatic, replicate, openai or compatible.";
    else if (parser.positionalArguments().isEmpty())
        usage = QStringLiteral("Missing recording.");
    else if (parser.positionalArguments().size() > 1)
        usage = u"Unexpected argument '" + parser.positionalArguments()[1] + u"'; give one recording.";
    if (!usage.isEmpty())
        return ScriptCommand::usageError(parser, arguments, usage, errors);

    QString keyringProblem;
    StandardTranscriptionFactory::Made made =
        StandardTranscriptionFactory::make(service, settings, readKeys(settings, keyringProblem));
    if (!made.service) {
        ScriptCommand::write(errors, keyringProblem + made.missing + u'\n');
        return 1;
    }
    const auto clip = audioClip(parser.positionalArguments().first(), input);
    if (const QString *problem = std::get_if<QString>(&clip)) {
        ScriptCommand::write(errors, *problem + u'\n');
        return 1;
    }

    // A streamed transcript is printed as it grows; the final text completes what was printed.
    QString printed;
    const auto print = [&](const QString &text) {
        const QString shown = text.trimmed();
        if (!shown.startsWith(printed))
            return;
        ScriptCommand::write(output, shown.sliced(printed.size()));
        printed = shown;
    };
    QObject::connect(made.service.get(), &TranscriptionService::partialTranscript, made.service.get(), print);
    QEventLoop loop;
    made.service->transcribe(std::get<RecordingTranscriptionService::Clip>(clip),
                             [&](const TranscriptionService::Result &result) {
                                 if (result.error) {
                                     ScriptCommand::write(errors, result.error->errorDescription() + u'\n');
                                     loop.exit(1);
                                 } else if (result.text.trimmed().isEmpty()) {
                                     ScriptCommand::write(errors, QStringLiteral("No speech detected.\n"));
                                     loop.exit(1);
                                 } else {
                                     print(result.text);
                                     loop.exit(0);
                                 }
                             });
    const int status = loop.exec();
    if (!printed.isEmpty())
        ScriptCommand::write(output, QStringLiteral("\n")); // the shell prompt starts on its own line
    return status;
}
