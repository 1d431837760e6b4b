#include "ModelProtocol.h"

#include "settings/SettingsManager.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <webp/decode.h>

#include <gtest/gtest.h>

namespace {

using Piece = ModelProtocol::Piece;

constexpr int fragmentDelayMs = 40;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray array(const QJsonValue &value)
{
    return value.toArray();
}

// --- Anthropic Messages ------------------------------------------------------------------------------

QByteArray anthropicEvent(const QByteArray &name, const QByteArray &data)
{
    return "event: " + name + "\ndata: " + data + "\n\n";
}

QList<Piece> anthropicAnswer(const QStringList &fragments)
{
    QList<Piece> pieces{
        {anthropicEvent("message_start",
                        R"({"type":"message_start","message":{"id":"msg_e2e","type":"message","role":"assistant",)"
                        R"("content":[],"model":"claude-haiku-4-5-20251001","stop_reason":null,"stop_sequence":null,)"
                        R"("usage":{"input_tokens":1200,"output_tokens":1}}})") +
         anthropicEvent("content_block_start",
                        R"({"type":"content_block_start","index":0,"content_block":{"type":"text","text":""}})") +
         anthropicEvent("ping", R"({"type": "ping"})")}};
    for (const QString &fragment : fragments) {
        const QJsonObject delta{{"type", "text_delta"}, {"text", fragment}};
        pieces.append({anthropicEvent("content_block_delta",
                                      compact({{"type", "content_block_delta"}, {"index", 0}, {"delta", delta}})),
                       fragmentDelayMs});
    }
    pieces.append({anthropicEvent("content_block_stop", R"({"type":"content_block_stop","index":0})") +
                       anthropicEvent("message_delta", R"({"type":"message_delta","delta":{"stop_reason":"end_turn",)"
                                                       R"("stop_sequence":null},"usage":{"output_tokens":12}})") +
                       anthropicEvent("message_stop", R"({"type":"message_stop"})"),
                   fragmentDelayMs});
    return pieces;
}

QImage decodeWebP(const QByteArray &bytes)
{
    int width = 0;
    int height = 0;
    uint8_t *pixels =
        WebPDecodeRGBA(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()), &width, &height);
    if (!pixels)
        return {};
    const QImage image = QImage(pixels, width, height, QImage::Format_RGBA8888).copy();
    WebPFree(pixels);
    return image;
}

SentRequest readAnthropic(const QJsonObject &body)
{
    SentRequest request{
        body["model"].toString(), body["max_tokens"].toInt(), body["stream"].toBool(), body["system"].toString(), {}};
    for (const QJsonValue &message : array(body["messages"])) {
        SentTurn turn{message["role"].toString(), {}, {}};
        const QJsonArray blocks = array(message["content"]);
        QStringList types;
        for (const QJsonValue &block : blocks)
            types << block["type"].toString();
        // An image, when there is one, comes first; the text block always ends the turn.
        if (types == QStringList{"image", "text"}) {
            const QJsonValue source = blocks[0]["source"];
            EXPECT_EQ(source["type"].toString(), u"base64");
            EXPECT_EQ(source["media_type"].toString(), u"image/webp");
            turn.image = decodeWebP(QByteArray::fromBase64(source["data"].toString().toLatin1()));
        } else {
            EXPECT_EQ(types, QStringList{"text"});
        }
        turn.text = blocks.last()["text"].toString();
        request.turns << turn;
    }
    return request;
}

QMap<QByteArray, QByteArray> anthropicHeaders(const QByteArray &key)
{
    return {{"x-api-key", key}, {"anthropic-version", "2023-06-01"}, {"content-type", "application/json"}};
}

// --- OpenAI Chat Completions ---------------------------------------------------------------------------

QByteArray openAIChunk(const QJsonObject &delta, const QJsonValue &finishReason = QJsonValue::Null)
{
    const QJsonObject choice{
        {"index", 0}, {"delta", delta}, {"logprobs", QJsonValue::Null}, {"finish_reason", finishReason}};
    return "data: " +
           compact({{"id", "chatcmpl-e2e"},
                    {"object", "chat.completion.chunk"},
                    {"created", 1727346168},
                    {"model", "gpt-5.4-nano"},
                    {"system_fingerprint", "fp_e2e"},
                    {"choices", QJsonArray{choice}}}) +
           "\n\n";
}

QList<Piece> openAIAnswer(const QStringList &fragments)
{
    QList<Piece> pieces{{openAIChunk({{"role", "assistant"}, {"content", ""}, {"refusal", QJsonValue::Null}})}};
    for (const QString &fragment : fragments)
        pieces.append({openAIChunk({{"content", fragment}}), fragmentDelayMs});
    pieces.append({openAIChunk({}, u"stop"_qs) +
                       R"(data: {"id":"chatcmpl-e2e","object":"chat.completion.chunk","created":1727346168,)"
                       R"("model":"gpt-5.4-nano","choices":[],"usage":{"prompt_tokens":1200,"completion_tokens":12,)"
                       R"("total_tokens":1212}})"
                       "\n\ndata: [DONE]\n\n",
                   fragmentDelayMs});
    return pieces;
}

SentRequest readOpenAI(const QJsonObject &body)
{
    SentRequest request{
        body["model"].toString(), body["max_completion_tokens"].toInt(), body["stream"].toBool(), {}, {}};
    QJsonArray messages = array(body["messages"]);
    if (!messages.isEmpty() && messages.first()["role"].toString() == u"system")
        request.system = messages.takeAt(0)["content"].toString();
    for (const QJsonValue &message : messages) {
        SentTurn turn{message["role"].toString(), message["content"].toString(), {}};
        if (message["content"].isArray()) {
            const QJsonArray parts = array(message["content"]);
            EXPECT_EQ(parts.size(), 2);
            EXPECT_EQ(parts[0]["type"].toString(), u"image_url");
            const QString url = parts[0]["image_url"]["url"].toString();
            const QString prefix = u"data:image/png;base64,"_qs;
            EXPECT_TRUE(url.startsWith(prefix)) << url.left(40).toStdString();
            turn.image = QImage::fromData(QByteArray::fromBase64(url.mid(prefix.size()).toLatin1()), "PNG");
            EXPECT_EQ(parts[1]["type"].toString(), u"text");
            turn.text = parts[1]["text"].toString();
        }
        request.turns << turn;
    }
    return request;
}

QMap<QByteArray, QByteArray> openAIHeaders(const QByteArray &key)
{
    return {{"authorization", "Bearer " + key}, {"content-type", "application/json"}};
}

} // namespace

const ModelProtocol ModelProtocol::anthropic{"anthropic",
                                             "anthropic",
                                             "claude-haiku-4-5-20251001",
                                             &SettingsManager::setAnthropicModel,
                                             &SettingsManager::anthropicKeyAccount,
                                             "GLINT_ANTHROPIC_BASE_URL",
                                             "/v1/messages",
                                             &anthropicHeaders,
                                             &anthropicAnswer,
                                             &readAnthropic};

const ModelProtocol ModelProtocol::openAI{"openai",
                                          "openai",
                                          "gpt-5.4-nano",
                                          &SettingsManager::setOpenAIModel,
                                          &SettingsManager::openAIKeyAccount,
                                          "GLINT_OPENAI_BASE_URL",
                                          "/v1/chat/completions",
                                          &openAIHeaders,
                                          &openAIAnswer,
                                          &readOpenAI};
