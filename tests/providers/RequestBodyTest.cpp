#include "providers/AnthropicProvider.h"
#include "providers/OpenAIProvider.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QByteArray sampleImage(const char *format)
{
    return encodedImage(QSize(64, 48), Qt::darkCyan, format);
}

QJsonObject parsed(const QByteArray &body)
{
    EXPECT_FALSE(body.contains('\n')) << "the body is compact";
    return QJsonDocument::fromJson(body).object();
}

QJsonObject json(const QByteArray &text)
{
    return QJsonDocument::fromJson(text).object();
}

const LLMConversation threeTurns{{LLMMessage::Role::User, "What is this?", sampleImage("PNG")},
                                 {LLMMessage::Role::Assistant, "A chart.", std::nullopt},
                                 {LLMMessage::Role::User, "", std::nullopt}};

TEST(AnthropicRequestBody, CarriesTheConversationWithTheImageAheadOfItsText)
{
    const auto body = AnthropicProvider::buildRequestBody(threeTurns, "  Be brief.", "claude-sonnet-4-6");
    ASSERT_TRUE(std::holds_alternative<QByteArray>(body));
    QJsonObject request = parsed(std::get<QByteArray>(body));

    QJsonArray messages = request.take(u"messages").toArray();
    QJsonObject first = messages[0].toObject();
    QJsonArray firstContent = first.take(u"content").toArray();
    const QJsonObject source = firstContent[0].toObject().value(u"source").toObject();
    EXPECT_EQ(source.value(u"media_type").toString(), u"image/webp");
    EXPECT_TRUE(QByteArray::fromBase64(source.value(u"data").toString().toLatin1()).startsWith("RIFF"));

    EXPECT_EQ(request, json(R"({"model":"claude-sonnet-4-6","max_tokens":1024,"stream":true,"system":"  Be brief."})"));
    EXPECT_EQ(firstContent[0].toObject().value(u"type").toString(), u"image");
    EXPECT_EQ(source.value(u"type").toString(), u"base64");
    EXPECT_EQ(firstContent[1].toObject(), json(R"({"type":"text","text":"What is this?"})"));
    EXPECT_EQ(firstContent.size(), 2);
    EXPECT_EQ(first, json(R"({"role":"user"})"));
    EXPECT_EQ(messages[1].toObject(), json(R"({"role":"assistant","content":[{"type":"text","text":"A chart."}]})"));
    EXPECT_EQ(messages[2].toObject(), json(R"({"role":"user","content":[{"type":"text","text":""}]})"));
}

TEST(AnthropicRequestBody, ABlankSystemPromptIsLeftOut)
{
    const auto body = AnthropicProvider::buildRequestBody({{LLMMessage::Role::User, "q", std::nullopt}}, " \n\t ", "m");
    EXPECT_FALSE(parsed(std::get<QByteArray>(body)).contains(u"system"));
}

TEST(AnthropicRequestBody, AnImageThatCannotBePreparedFailsTheBody)
{
    const auto body =
        AnthropicProvider::buildRequestBody({{LLMMessage::Role::User, "q", QByteArray("not an image")}}, "", "m");
    ASSERT_TRUE(std::holds_alternative<LLMError>(body));
    EXPECT_EQ(std::get<LLMError>(body).description(), u"Could not decode screenshot for Anthropic upload");
}

TEST(OpenAIRequestBody, SendsImagesUnchangedAsPngDataUrls)
{
    const QByteArray jpeg = sampleImage("JPEG");
    const LLMConversation conversation{{LLMMessage::Role::User, "What is this?", jpeg},
                                       {LLMMessage::Role::Assistant, "A chart.", std::nullopt},
                                       {LLMMessage::Role::User, "", std::nullopt}};
    const QJsonObject request = parsed(OpenAIProvider::buildRequestBody(conversation, "  Be brief.", "gpt-5.4"));

    const QString url = u"data:image/png;base64," + QString::fromLatin1(jpeg.toBase64());
    const QString expected =
        QStringLiteral(R"({"model":"gpt-5.4","max_completion_tokens":1024,"stream":true,"messages":[
        {"role":"system","content":"  Be brief."},
        {"role":"user","content":[{"type":"image_url","image_url":{"url":"%1"}},{"type":"text","text":"What is this?"}]},
        {"role":"assistant","content":"A chart."},
        {"role":"user","content":""}]})");
    EXPECT_EQ(request, json(expected.arg(url).toUtf8()));
}

TEST(OpenAIRequestBody, ABlankSystemPromptAddsNoSystemMessage)
{
    const QJsonObject request =
        parsed(OpenAIProvider::buildRequestBody({{LLMMessage::Role::User, "q", std::nullopt}}, "\n  ", "m"));
    EXPECT_EQ(request.value(u"messages").toArray(), QJsonArray{json(R"({"role":"user","content":"q"})")});
}

} // namespace
