#include "app/AskCommand.h"

#include "app/ScriptCommand.h"
#include "capture/CaptureEncoding.h"
#include "providers/ModelCatalog.h"
#include "providers/StandardProviderFactory.h"
#include "session/ProviderChoice.h"
#include "settings/SettingsManager.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QImage>

#include <optional>
#include <variant>

namespace {

// The chosen provider's key into `config`, or why there is none. The environment stands in for a keyring
// without one, also for a locked one: a script cannot answer an unlock prompt. A server of the user's own
// may need no key at all.
std::optional<QString> takeKey(const SettingsManager &settings, const ProviderChoice &choice, LLMProviderConfig &config)
{
    const StoredSecret stored = settings.keychainRead(choice.keyAccount);
    const QString variable = choice.config.id == u"openai"      ? QStringLiteral("OPENAI_API_KEY")
                             : choice.config.id == u"anthropic" ? QStringLiteral("ANTHROPIC_API_KEY")
                                                                : QString();
    config.apiKey = stored.isSet() ? stored.value : qEnvironmentVariable(variable.toLatin1().constData());
    if (!config.apiKey.isEmpty() || !choice.keyRequired)
        return std::nullopt;
    if (!stored.isKnown())
        return stored.problem() + u" Unlock it, or set " + variable + u'.';
    return u"No " + choice.name + u" API key configured. Add it in Settings or set " + variable + u'.';
}

// The image as a capture would hand it over, or a message saying why there is none.
std::variant<QByteArray, QString> screenshot(const QString &source, QIODevice &input)
{
    const std::variant<QByteArray, QString> read = ScriptCommand::read(source, input);
    if (const QString *problem = std::get_if<QString>(&read))
        return *problem;
    const QByteArray &bytes = std::get<QByteArray>(read);
    const QImage image = QImage::fromData(bytes);
    const QString name = ScriptCommand::sourceName(source);
    if (image.isNull())
        return u"No readable image in " + name;
    const QByteArray png = CaptureEncoding::visionPng(image);
    if (png.isEmpty())
        return u"Cannot encode the image from " + name;
    return png;
}

} // namespace

int AskCommand::main(int &argc, char **argv)
{
    return ScriptCommand::main(argc, argv, &AskCommand::run);
}

int AskCommand::run(const QStringList &arguments, SettingsManager &settings, QIODevice &input, QIODevice &output,
                    QIODevice &errors)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Ask the configured model one question, optionally about an image."));
    const QCommandLineOption providerOption(u"provider"_qs,
                                            u"anthropic, openai or compatible (default: the settings)."_qs, u"name"_qs);
    const QCommandLineOption modelOption(u"model"_qs, u"Model identifier (default: the settings)."_qs, u"id"_qs);
    const QCommandLineOption imageOption(u"image"_qs, u"Image file to ask about, or - for standard input."_qs,
                                         u"file"_qs);
    parser.addOptions({providerOption, modelOption, imageOption});
    parser.addPositionalArgument(u"question"_qs, u"The question."_qs, u"QUESTION..."_qs);
    const std::optional<bool> parsed = ScriptCommand::parse(parser, arguments, output);
    if (!parsed)
        return 0;
    const QString provider = parser.isSet(providerOption) ? parser.value(providerOption) : settings.selectedProvider();
    const QString question = parser.positionalArguments().join(u' ');
    QString usage;
    if (!*parsed)
        usage = parser.errorText();
    else if (parser.isSet(providerOption) && !ModelCatalog::providers().contains(provider))
        usage = u"Unknown provider " + provider + u"; use anthropic, openai or compatible.";
    else if (question.trimmed().isEmpty())
        usage = QStringLiteral("Missing question.");
    if (!usage.isEmpty())
        return ScriptCommand::usageError(parser, arguments, usage, errors);

    // Any other stored value means Anthropic, as in the panel.
    const ProviderChoice choice = ProviderChoice::fromSettings(settings, provider);
    LLMProviderConfig config = choice.config;
    if (parser.isSet(modelOption))
        config.model = parser.value(modelOption);
    if (const std::optional<QString> problem = takeKey(settings, choice, config)) {
        ScriptCommand::write(errors, *problem + u'\n');
        return 1;
    }

    LLMMessage turn{LLMMessage::Role::User, question, std::nullopt};
    if (parser.isSet(imageOption)) {
        const std::variant<QByteArray, QString> image = screenshot(parser.value(imageOption), input);
        if (const QString *problem = std::get_if<QString>(&image)) {
            ScriptCommand::write(errors, *problem + u'\n');
            return 1;
        }
        turn.imageData = std::get<QByteArray>(image);
    }

    StandardProviderFactory factory;
    const std::unique_ptr<LLMProvider> llm = factory.create(config);
    const std::shared_ptr<LLMAnswerStream> stream = llm->stream({turn}, settings.effectiveSystemPrompt());

    QEventLoop loop;
    QString answer;
    QStringList said; // on standard error once the answer has its last line
    QObject::connect(stream.get(), &LLMAnswerStream::fragmentReceived, &loop, [&](const QString &fragment) {
        answer += fragment;
        ScriptCommand::write(output, fragment);
    });
    QObject::connect(stream.get(), &LLMAnswerStream::finished, &loop, [&](const LLMAnswerEnding &ending) {
        said << ending.refusal << ending.note();
        loop.exit(ending.reason == LLMAnswerEnding::Reason::Refusal ? 3 : 0);
    });
    QObject::connect(stream.get(), &LLMAnswerStream::failed, &loop, [&](const LLMStreamError &error) {
        said << error.description;
        loop.exit(1);
    });
    const int status = loop.exec();
    if (!answer.isEmpty() && !answer.endsWith(u'\n'))
        ScriptCommand::write(output, QStringLiteral("\n")); // the shell prompt starts on its own line
    for (const QString &line : std::as_const(said))
        if (!line.isEmpty())
            ScriptCommand::write(errors, line + u'\n');
    return status;
}
