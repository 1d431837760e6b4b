#include "providers/CompatibleModelList.h"

#include "log/DebugLog.h"
#include "providers/LLMEndpoint.h"
#include "providers/NetworkThread.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>

namespace {

constexpr int fetchTimeoutMs = 5000;

} // namespace

CompatibleModelList::CompatibleModelList(QObject *parent)
    : QObject(parent)
{
}

void CompatibleModelList::fetch(const QString &baseURL, bool allowUnencrypted, const QString &apiKey)
{
    if (reply_)
        reply_->abort();
    const LLMEndpoint endpoint = LLMEndpoint::fromSettings(baseURL, QStringLiteral("/models"), allowUnencrypted);
    if (!endpoint.isUsable())
        return;
    QNetworkRequest request(endpoint.url());
    request.setTransferTimeout(fetchTimeoutMs);
    request.setSslConfiguration(NetworkThread::sslConfiguration());
    if (!apiKey.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + apiKey.toUtf8());
    QNetworkReply *reply = network_.get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] { received(reply); });
}

void CompatibleModelList::received(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QStringList models = status == 200 ? parse(reply->readAll()) : QStringList();
    DebugLog::log(QStringLiteral("OpenAI"), u"Compatible server models status=" + QString::number(status) + u" count=" +
                                                QString::number(models.size()));
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
