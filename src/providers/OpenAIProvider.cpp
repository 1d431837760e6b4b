#include "providers/OpenAIProvider.h"

#include "providers/LLMStreamingRun.h"
#include "providers/ServerSentEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue content(const LLMMessage &message)
{
    if (!message.imageData)
        return message.text;
    const QString url = u"data:image/png;base64," + QString::fromLatin1(message.imageData->toBase64());
    const QJsonObject image{{QStringLiteral("type"), QStringLiteral("image_url")},
                            {QStringLiteral("image_url"), QJsonObject{{QStringLiteral("url"), url}}}};
    const QJsonObject text{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), message.text}};
    return QJsonArray{image, text};
}

// The answer is choice 0. Each chunk carries the choices it advances, so the first element may belong
// to another answer when several were asked for.
std::optional<QJsonObject> firstChoice(const QJsonArray &choices)
{
    for (const QJsonValue &choice : choices) {
        const QJsonObject object = choice.toObject();
        if (choice.isObject() && object.value(u"index").toInt(0) == 0)
            return object;
    }
    return std::nullopt;
}

} // namespace

OpenAIProvider::Server OpenAIProvider::openAIServer()
{
    return {QStringLiteral("openai"), QStringLiteral("OpenAI"),
            LLMEndpoint::resolve("GLINT_OPENAI_BASE_URL", QStringLiteral("https://api.openai.com"),
                                 QStringLiteral("/v1/chat/completions"))};
}

OpenAIProvider::Server OpenAIProvider::compatibleServer(const QString &baseURL, bool allowUnencrypted)
{
    return {QStringLiteral("compatible"), QStringLiteral("OpenAI-compatible server"),
            LLMEndpoint::fromSettings(baseURL, QStringLiteral("/chat/completions"), allowUnencrypted)};
}

OpenAIProvider::OpenAIProvider(const QString &apiKey, const QString &model, Server server)
    : apiKey_(apiKey)
    , model_(model)
    , server_(std::move(server))
{
}

std::shared_ptr<LLMAnswerStream> OpenAIProvider::stream(const LLMConversation &messages, const QString &systemPrompt)
{
    LLMStreamPlan plan;
    plan.category = QStringLiteral("OpenAI");
    plan.model = model_;
    plan.endpoint = server_.endpoint;
    plan.headers = {{"Content-Type", "application/json"}};
    if (!apiKey_.isEmpty())
        plan.headers.prepend({"Authorization", "Bearer " + apiKey_.toUtf8()});
    plan.apiKey = apiKey_;
    plan.buildBody = [messages, systemPrompt, model = model_]() -> std::variant<QByteArray, LLMError> {
        return buildRequestBody(messages, systemPrompt, model);
    };
    plan.interpretEvent = &processEvent;
    return LLMStreamingRun::start(messages, std::move(plan));
}

QByteArray OpenAIProvider::buildRequestBody(const LLMConversation &messages, const QString &systemPrompt,
                                            const QString &model)
{
    QJsonArray turns;
    if (!systemPrompt.trimmed().isEmpty())
        turns.append(
            QJsonObject{{QStringLiteral("role"), QStringLiteral("system")}, {QStringLiteral("content"), systemPrompt}});
    for (const LLMMessage &message : messages)
        turns.append(
            QJsonObject{{QStringLiteral("role"),
                         message.role == LLMMessage::Role::User ? QStringLiteral("user") : QStringLiteral("assistant")},
                        {QStringLiteral("content"), content(message)}});

    const QJsonObject body{{QStringLiteral("model"), model},
                           {QStringLiteral("max_completion_tokens"), 1024},
                           {QStringLiteral("stream"), true},
                           {QStringLiteral("messages"), turns}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

LLMEventMeaning OpenAIProvider::processEvent(const ServerSentEvent &event)
{
    if (event.isDone())
        return LLMEventMeaning::closing();
    const std::optional<QJsonObject> chunk = event.dataObject();
    if (!chunk)
        return {};
    // The service reports trouble it meets mid-answer as an error object; the answer is then
    // incomplete and must not pass for a finished one.
    if (chunk->value(u"error").isObject())
        return LLMEventMeaning::failure(event.streamErrorDescription());
    const std::optional<QJsonObject> choice = firstChoice(chunk->value(u"choices").toArray());
    if (!choice)
        return {};
    const QJsonObject delta = choice->value(u"delta").toObject();
    const QJsonValue text = delta.value(u"content");
    // A refusal comes as text of its own, never as content. Only words count: an empty one declines nothing.
    const QString refusal = delta.value(u"refusal").toString();
    LLMEventMeaning meaning = text.isString()      ? LLMEventMeaning::fragment(text.toString())
                              : !refusal.isEmpty() ? LLMEventMeaning::refusal(refusal)
                                                   : LLMEventMeaning{};
    // Some servers end without "[DONE]"; a finish reason says as much. It may come with the last text.
    const QString finishReason = choice->value(u"finish_reason").toString();
    meaning.closesAnswer = !finishReason.isEmpty();
    if (finishReason == u"length")
        meaning.stop = LLMAnswerEnding::Reason::LengthLimit;
    else if (finishReason == u"content_filter")
        meaning.stop = LLMAnswerEnding::Reason::Refusal;
    return meaning;
}
