#include "providers/ServerSentEvent.h"

#include <QJsonDocument>

std::optional<QJsonObject> ServerSentEvent::dataObject() const
{
    const QJsonDocument document = QJsonDocument::fromJson(data.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}
