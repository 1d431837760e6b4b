#include "providers/AnthropicImageCache.h"

#include <QtConcurrent/QtConcurrentRun>

AnthropicImageCache &AnthropicImageCache::instance()
{
    static AnthropicImageCache cache;
    return cache;
}

void AnthropicImageCache::prepare(const QByteArray &imageData, qsizetype byteLimit)
{
    find(imageData, byteLimit,
         [&] { return QtConcurrent::run(&AnthropicImageEncoder::encodeImageForAnthropic, imageData, byteLimit); });
}

std::variant<EncodedImage, LLMError> AnthropicImageCache::encoded(const QByteArray &imageData, qsizetype byteLimit)
{
    return find(imageData, byteLimit,
                [&] {
                    return QtFuture::makeReadyFuture(
                        AnthropicImageEncoder::encodeImageForAnthropic(imageData, byteLimit));
                })
        .result();
}

void AnthropicImageCache::clear()
{
    const QMutexLocker lock(&mutex_);
    entries_.clear();
}

QFuture<AnthropicImageCache::Result> AnthropicImageCache::find(const QByteArray &imageData, qsizetype byteLimit,
                                                               const std::function<QFuture<Result>()> &start)
{
    {
        const QMutexLocker lock(&mutex_);
        for (qsizetype i = 0; i < entries_.size(); ++i) {
            if (entries_[i].byteLimit == byteLimit && entries_[i].imageData == imageData) {
                entries_.move(i, 0);
                return entries_.first().result;
            }
        }
    }
    // Encoded outside the lock, so other images are not held up; two threads asking for the same new
    // image at once may both encode it, which costs time but gives the same bytes.
    QFuture<Result> result = start();
    const QMutexLocker lock(&mutex_);
    entries_.prepend({imageData, byteLimit, result});
    if (entries_.size() > capacity)
        entries_.removeLast();
    return result;
}
