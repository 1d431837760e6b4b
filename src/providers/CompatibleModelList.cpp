#include "providers/CompatibleModelList.h"

#include "log/DebugLog.h"
#include "providers/LLMEndpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace std::chrono_literals;

CompatibleModelList::CompatibleModelList(QObject *parent)
    : QObject(parent)
{
}

void CompatibleModelList::fetch(const QString &baseURL, bool allowUnencrypted, const QString &apiKey)
{
    fetch_.cancelAll();
    const LLMEndpoint endpoint = LLMEndpoint::fromSettings(baseURL, QStringLiteral("/models"), allowUnencrypted);
    if (!endpoint.isUsable())
        return;
    fetch_.start({endpoint.url(), apiKey, std::nullopt, 5s, bodyLimit},
                 [this](const BoundedFetch::Reply &reply) { received(reply); });
}

void CompatibleModelList::received(const BoundedFetch::Reply &reply)
{
    const QStringList models = reply.error.isEmpty() && reply.status == 200 ? parse(reply.body) : QStringList();
    if (reply.error.isEmpty())
        DebugLog::log(QStringLiteral("OpenAI"), u"Compatible server models status=" + QString::number(reply.status) +
                                                    u" count=" + QString::number(models.size()));
    else
        DebugLog::log(QStringLiteral("OpenAI"), u"Compatible server models failed error=" + reply.error);
    if (models == models_)
        return;
    models_ = models;
    Q_EMIT modelsChanged();
}

QStringList CompatibleModelList::parse(const QByteArray &document)
{
    QStringList models;
    for (const QJsonValue &entry : QJsonDocument::fromJson(document).object().value(u"data").toArray()) {
        const QString id = entry.toObject().value(u"id").toString();
        if (!id.isEmpty() && !models.contains(id))
            models << id;
    }
    return models;
}
