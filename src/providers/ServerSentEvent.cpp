#include "providers/ServerSentEvent.h"

#include <QJsonDocument>

namespace {

const QString dataPrefix = QStringLiteral("data: ");

} // namespace

std::optional<QJsonObject> ServerSentEvent::dataObject(const QString &line)
{
    if (!line.startsWith(dataPrefix))
        return std::nullopt;
    const QStringView payload = QStringView(line).sliced(dataPrefix.size());
    if (payload == u"[DONE]")
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(payload.toUtf8());
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

QString ServerSentEvent::streamErrorDescription(const QString &line)
{
    return u"Stream error: " + QStringView(line).sliced(dataPrefix.size());
}
