#include "voice/ReplicateWhisperService.h"

#include <QJsonObject>
#include <QStringDecoder>

#include <cstdlib>

namespace {

// The text shown of a body is the whole text, or its first characters up to the limit and an ellipsis;
// bytes that are not UTF-8 are only counted.
void checkShownBody(const QByteArray &bytes)
{
    const QString shown = ReplicateWhisperService::stringBody(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QList<uint> characters = QString(decoder.decode(bytes)).toUcs4();
    const qsizetype limit = ReplicateWhisperService::bodyTextLimit;
    if (decoder.hasError()          ? !shown.startsWith(u"<non-utf8 body ")
        : characters.size() > limit ? !shown.endsWith(u'…') || shown.chopped(1).toUcs4() != characters.first(limit)
                                    : shown.toUcs4() != characters)
        std::abort();
}

} // namespace

// A response body read as a poll reads it: shown in errors and logs, and its output taken as the transcript.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkShownBody(bytes);
    const QJsonObject prediction = QJsonDocument::fromJson(bytes).object();
    const std::optional<QJsonValue> output =
        prediction.contains(u"output") ? std::optional(prediction.value(u"output")) : std::nullopt;
    const std::optional<QString> text = ReplicateWhisperService::extractOutputText(output);
    if (output && output->isString() && text != output->toString())
        std::abort();
    return 0;
}
