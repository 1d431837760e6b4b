#pragma once

#include "providers/AnthropicImageEncoder.h"

#include <QFuture>
#include <QList>
#include <QMutex>

// The last few screenshots as Anthropic requests carry them. Encoding one takes tens of milliseconds;
// with the cache it happens once per screenshot, started as soon as the capture exists rather than
// when the question is sent, and follow-ups that resend the image reuse it.
class AnthropicImageCache {
public:
    static AnthropicImageCache &instance();

    // Starts encoding `imageData` on a worker unless it is cached already.
    void prepare(const QByteArray &imageData, qsizetype byteLimit);
    // The encoded image, waiting for a prepared one to finish or encoding it here.
    std::variant<EncodedImage, LLMError> encoded(const QByteArray &imageData, qsizetype byteLimit);
    // Drops every screenshot; an encoding under way finishes for whoever waits on it.
    void clear();

private:
    using Result = std::variant<EncodedImage, LLMError>;
    struct Entry {
        QByteArray imageData;
        qsizetype byteLimit;
        QFuture<Result> result;
    };
    static constexpr qsizetype capacity = 4; // a screenshot and a few additional captures

    // The entry for `imageData`, made the most recent; a new one started by `start` when there is none.
    QFuture<Result> find(const QByteArray &imageData, qsizetype byteLimit,
                         const std::function<QFuture<Result>()> &start);

    QMutex mutex_;
    QList<Entry> entries_; // most recent first
};
