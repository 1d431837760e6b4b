#pragma once

#include <QByteArray>

// Events of the two streaming protocols in their smallest form, as the hosted services send them.
namespace ModelStreams {

inline QByteArray anthropicDelta(const QByteArray &text)
{
    return "event: content_block_delta\ndata: {\"type\":\"content_block_delta\",\"delta\":{\"text\":\"" + text +
           "\"}}\n\n";
}

inline const QByteArray anthropicStop = "event: message_stop\ndata: {\"type\":\"message_stop\"}\n\n";

inline QByteArray anthropicAnswer(const QByteArray &text)
{
    return anthropicDelta(text) + anthropicStop;
}

// `finishReason` is JSON: null, or a reason in quotes.
inline QByteArray openAIDelta(const QByteArray &text, const QByteArray &finishReason = "null")
{
    return "data: {\"choices\":[{\"index\":0,\"delta\":{\"content\":\"" + text +
           "\"},\"finish_reason\":" + finishReason + "}]}\n\n";
}

inline const QByteArray openAIDone = "data: [DONE]\n\n";

inline QByteArray openAIAnswer(const QByteArray &text)
{
    return openAIDelta(text) + openAIDone;
}

} // namespace ModelStreams
