#include "voice/TranscriptEventReader.h"

#include <QJsonObject>

bool TranscriptEventReader::feed(QByteArrayView piece)
{
    return read(events_.feed(piece));
}

void TranscriptEventReader::finish()
{
    read(events_.finish());
}

bool TranscriptEventReader::read(const QList<ServerSentEvent> &events)
{
    bool grew = false;
    for (const ServerSentEvent &event : events) {
        // Nothing after the end counts: a server that goes on is not believed.
        if (complete_ || failure_)
            break;
        const std::optional<QJsonObject> data = event.dataObject();
        if (!data)
            continue;
        const QString type = data->value(u"type").toString(event.type);
        if (type == u"transcript.text.delta" && data->value(u"delta").isString()) {
            sawEvents_ = true;
            text_ += data->value(u"delta").toString();
            grew = true;
        } else if (type == u"transcript.text.done" && data->value(u"text").isString()) {
            sawEvents_ = true;
            complete_ = true;
            grew = grew || data->value(u"text").toString() != text_;
            text_ = data->value(u"text").toString();
        } else if (type == u"error" || data->value(u"error").isObject()) {
            sawEvents_ = true;
            const QJsonValue message = data->value(u"error").toObject().value(u"message");
            failure_ = message.isString() ? message.toString() : event.data;
        }
    }
    return grew;
}
