#include "providers/BoundedFetch.h"

#include "providers/NetworkThread.h"

#include <QHttpMultiPart>
#include <QLocale>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// What Qt may read from the socket ahead of us, so a flood waits in the network rather than in memory.
constexpr qint64 readAhead = 64 * 1024;

// Qt reports HTTP error statuses from ContentAccessDenied on; below it nothing, or not all, came.
bool answered(const QNetworkReply *reply, int status)
{
    return status >= 0 &&
           (reply->error() == QNetworkReply::NoError || reply->error() >= QNetworkReply::ContentAccessDenied);
}

// Adds what arrived to the body; past the limit the body goes and the exchange is stopped.
bool take(QNetworkReply *reply, BoundedFetch::Reply &result, const BoundedFetch::Request &request)
{
    const qint64 limit = request.bodyLimit;
    const QByteArray piece = reply->read(std::min(reply->bytesAvailable(), limit + 1 - result.body.size()));
    result.body += piece;
    if (result.body.size() <= limit) {
        if (request.received && !piece.isEmpty())
            request.received(piece);
        return true;
    }
    result.body.clear();
    result.error = u"The answer is larger than " + QLocale::c().formattedDataSize(limit, 0) + u"; reading stopped";
    reply->abort();
    return false;
}

} // namespace

BoundedFetch::BoundedFetch(QObject *parent)
    : QObject(parent)
{
}

BoundedFetch::~BoundedFetch()
{
    cancelAll();
}

void BoundedFetch::start(const Request &request, Done done)
{
    QNetworkRequest http(request.url);
    http.setSslConfiguration(NetworkThread::sslConfiguration());
    // Without a key or an upload Qt's own rule (never from https to http) is enough; a key, and what the user
    // uploads, stay with the address they were given.
    const bool staysPut = !request.apiKey.isEmpty() || request.form;
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                      staysPut ? QNetworkRequest::ManualRedirectPolicy : QNetworkRequest::NoLessSafeRedirectPolicy);
    if (!request.apiKey.isEmpty())
        http.setRawHeader("Authorization", "Bearer " + request.apiKey.toUtf8());
    if (request.json && !request.form)
        http.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply *reply = request.form   ? network_.post(http, request.form)
                           : request.json ? network_.post(http, *request.json)
                                          : network_.get(http);
    if (request.form)
        request.form->setParent(reply);
    // Qt's network thread misses a limit set before it took the request, as it does with an upload: set it again.
    reply->setReadBufferSize(readAhead);
    connect(reply, &QNetworkReply::requestSent, reply, [reply] { reply->setReadBufferSize(readAhead); });

    auto result = std::make_shared<Reply>();
    connect(reply, &QNetworkReply::readyRead, reply, [reply, result, request] { take(reply, *result, request); });
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(request.deadline).count();
    QTimer::singleShot(request.deadline, reply, [reply, result, seconds] {
        result->error = u"No complete answer within " + QString::number(seconds) + u" seconds";
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, reply, [reply, result, request, staysPut, done = std::move(done)] {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result->status = status.isValid() ? status.toInt() : -1;
        const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (result->error.isEmpty() && take(reply, *result, request) && staysPut && !target.isEmpty())
            result->error = u"Refused to follow a redirect to " + reply->url().resolved(target).toString() +
                            (request.apiKey.isEmpty() ? u": the upload goes only to the address configured"_qs
                                                      : u": the API key goes only to the address configured"_qs);
        else if (result->error.isEmpty() && !answered(reply, result->status))
            result->error = reply->errorString();
        done(*result);
    });
}

void BoundedFetch::cancelAll()
{
    for (QNetworkReply *reply : network_.findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly)) {
        disconnect(reply, nullptr, reply, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}
