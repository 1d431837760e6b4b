#include "providers/AnthropicProvider.h"

#include "log/DebugLog.h"
#include "providers/AnthropicImageCache.h"
#include "providers/LLMStreamingRun.h"
#include "providers/ServerSentEvent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString category = QStringLiteral("Anthropic");

QJsonObject textBlock(const QString &text)
{
    return {{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), text}};
}

QJsonObject imageBlock(const EncodedImage &image)
{
    const QJsonObject source{{QStringLiteral("type"), QStringLiteral("base64")},
                             {QStringLiteral("media_type"), image.mediaType},
                             {QStringLiteral("data"), QString::fromLatin1(image.base64)}};
    return {{QStringLiteral("type"), QStringLiteral("image")}, {QStringLiteral("source"), source}};
}

// The reasons for stopping that leave an answer short of a whole one.
LLMEventMeaning stopping(const QString &reason)
{
    if (reason == u"max_tokens" || reason == u"model_context_window_exceeded")
        return LLMEventMeaning::stopping(LLMAnswerEnding::Reason::LengthLimit);
    if (reason == u"refusal")
        return LLMEventMeaning::stopping(LLMAnswerEnding::Reason::Refusal);
    return {};
}

} // namespace

AnthropicProvider::AnthropicProvider(const QString &apiKey, const QString &model)
    : apiKey_(apiKey)
    , model_(model)
{
}

std::shared_ptr<LLMAnswerStream> AnthropicProvider::stream(const LLMConversation &messages, const QString &systemPrompt)
{
    LLMStreamPlan plan;
    plan.category = category;
    plan.model = model_;
    plan.endpoint = LLMEndpoint::resolve("GLINT_ANTHROPIC_BASE_URL", QStringLiteral("https://api.anthropic.com"),
                                         QStringLiteral("/v1/messages"));
    plan.headers = {
        {"x-api-key", apiKey_.toUtf8()}, {"anthropic-version", "2023-06-01"}, {"Content-Type", "application/json"}};
    plan.apiKey = apiKey_;
    plan.buildBody = [messages, systemPrompt, model = model_] {
        return buildRequestBody(messages, systemPrompt, model);
    };
    plan.interpretEvent = &processEvent;
    return LLMStreamingRun::start(messages, std::move(plan));
}

std::variant<QByteArray, LLMError> AnthropicProvider::buildRequestBody(const LLMConversation &messages,
                                                                       const QString &systemPrompt,
                                                                       const QString &model, qsizetype imageByteLimit)
{
    QJsonArray turns;
    for (const LLMMessage &message : messages) {
        QJsonArray content;
        if (message.imageData) {
            std::variant<EncodedImage, LLMError> image =
                AnthropicImageCache::instance().encoded(*message.imageData, imageByteLimit);
            if (LLMError *error = std::get_if<LLMError>(&image))
                return *error;
            const EncodedImage &encoded = std::get<EncodedImage>(image);
            content.append(imageBlock(encoded));
            DebugLog::log(category, u"Prepared image payload mediaType=" + encoded.mediaType + u" bytes=" +
                                        QString::number(encoded.byteCount));
        }
        content.append(textBlock(message.text));
        turns.append(
            QJsonObject{{QStringLiteral("role"),
                         message.role == LLMMessage::Role::User ? QStringLiteral("user") : QStringLiteral("assistant")},
                        {QStringLiteral("content"), content}});
    }

    QJsonObject body{{QStringLiteral("model"), model},
                     {QStringLiteral("max_tokens"), 1024},
                     {QStringLiteral("stream"), true},
                     {QStringLiteral("messages"), turns}};
    if (!systemPrompt.trimmed().isEmpty())
        body.insert(QStringLiteral("system"), systemPrompt);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

LLMEventMeaning AnthropicProvider::processEvent(const ServerSentEvent &event)
{
    const std::optional<QJsonObject> object = event.dataObject();
    if (!object)
        return {};
    const QString type = object->value(u"type").toString();
    if (type == u"content_block_delta") {
        const QJsonValue text = object->value(u"delta").toObject().value(u"text");
        return text.isString() ? LLMEventMeaning::fragment(text.toString()) : LLMEventMeaning{};
    }
    // The service reports trouble it meets mid-answer (overload, for example) as an error event; the
    // answer is then incomplete and must not pass for a finished one.
    if (type == u"error")
        return LLMEventMeaning::failure(event.streamErrorDescription());
    if (type == u"message_delta")
        return stopping(object->value(u"delta").toObject().value(u"stop_reason").toString());
    if (type == u"message_stop")
        return LLMEventMeaning::closing();
    return {};
}
