#pragma once

#include "providers/LLMError.h"

#include <QByteArray>
#include <QString>

#include <variant>

// An image as it goes into an Anthropic request.
struct EncodedImage {
    QString mediaType;   // "image/webp" or "image/jpeg"
    QByteArray base64;   // standard base64, no line breaks
    qsizetype byteCount; // encoded bytes before base64
};

// Re-encodes a screenshot so it fits Anthropic's image size limit: WebP, then JPEG, each down a
// quality ladder, shrinking the image between rounds. Slow on large images: keep it off the main thread.
class AnthropicImageEncoder {
public:
    AnthropicImageEncoder() = delete;

    static std::variant<EncodedImage, LLMError> encodeImageForAnthropic(const QByteArray &imageData,
                                                                        qsizetype byteLimit);
};
