#include "providers/LLMExchange.h"

#include "log/DebugLog.h"
#include "providers/NetworkThread.h"

#include <QNetworkAccessManager>

namespace {

constexpr int maxAttempts = 2;
constexpr std::chrono::seconds retryDelay(1);
const QString timedOutDescription = QStringLiteral("The request timed out.");

// A failure after the head that cut the body short, as opposed to the error Qt derives from a non-2xx
// status, which only labels a body we still read in full.
bool interruptsBody(QNetworkReply::NetworkError error)
{
    return (error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolFailure;
}

} // namespace

LLMExchange::LLMExchange(const QNetworkRequest &request, const QByteArray &body, const QString &category,
                         QObject *parent)
    : QObject(parent)
    , request_(request)
    , body_(body)
    , category_(category)
{
    request_.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request_.setSslConfiguration(NetworkThread::sslConfiguration());

    const NetworkThread::Limits limits = NetworkThread::limits();
    inactivityTimer_.setSingleShot(true);
    inactivityTimer_.setInterval(limits.inactivity);
    exchangeTimer_.setSingleShot(true);
    exchangeTimer_.setInterval(limits.exchange);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(retryDelay);
    connect(&inactivityTimer_, &QTimer::timeout, this, [this] { expire(Expiry::Inactivity); });
    connect(&exchangeTimer_, &QTimer::timeout, this, [this] { expire(Expiry::Exchange); });
    connect(&retryTimer_, &QTimer::timeout, this, &LLMExchange::startAttempt);
}

LLMExchange::~LLMExchange()
{
    abort();
}

bool LLMExchange::isRetryable(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::TimeoutError:
    case QNetworkReply::RemoteHostClosedError: // connection lost before the head
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError: // also a failed name lookup
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError: // how Qt reports an unreachable network, that is, no network
        return true;
    default:
        return false;
    }
}

void LLMExchange::start()
{
    exchangeTimer_.start();
    startAttempt();
}

void LLMExchange::abort()
{
    end();
    if (QNetworkReply *reply = std::exchange(reply_, nullptr)) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void LLMExchange::end()
{
    inactivityTimer_.stop();
    exchangeTimer_.stop();
    retryTimer_.stop();
}

void LLMExchange::log(const QString &message) const
{
    DebugLog::log(category_, message);
}

void LLMExchange::startAttempt()
{
    ++attempt_;
    log(u"Starting request attempt=" + QString::number(attempt_));
    reply_ = NetworkThread::network().post(request_, body_);
    reply_->setParent(this);
    inactivityTimer_.start();
    const auto progressed = [this] { inactivityTimer_.start(); };
    connect(reply_, &QNetworkReply::uploadProgress, this, progressed);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &LLMExchange::noteHead);
    connect(reply_, &QNetworkReply::readyRead, this, &LLMExchange::forwardBody);
    connect(reply_, &QNetworkReply::finished, this, &LLMExchange::attemptFinished);
}

void LLMExchange::noteHead()
{
    inactivityTimer_.start();
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (headSeen_ || !status.isValid())
        return;
    headSeen_ = true;
    Q_EMIT headReceived(status.toInt(), reply_->rawHeader("Content-Type"));
}

void LLMExchange::forwardBody()
{
    inactivityTimer_.start();
    noteHead();
    if (!headSeen_ || !reply_->isOpen()) // an aborted reply has nothing left to read
        return;
    const QByteArray chunk = reply_->readAll();
    if (!chunk.isEmpty())
        Q_EMIT bodyReceived(chunk);
}

void LLMExchange::attemptFinished()
{
    QNetworkReply *reply = reply_;
    noteHead();
    if (headSeen_)
        forwardBody();
    if (reply_ != reply)
        return; // a listener aborted the exchange while taking the last bytes
    reply->deleteLater();
    reply_ = nullptr;
    inactivityTimer_.stop();

    const bool timedOut = expiry_ != Expiry::None;
    const QNetworkReply::NetworkError error = timedOut ? QNetworkReply::TimeoutError : reply->error();
    const QString description = timedOut ? timedOutDescription : reply->errorString();

    if (headSeen_) {
        end();
        if (timedOut || interruptsBody(error))
            Q_EMIT failed(description);
        else
            Q_EMIT completed();
        return;
    }

    // The whole-exchange limit leaves no room for a second attempt.
    const bool retryable = isRetryable(error) && expiry_ != Expiry::Exchange;
    log(u"Request attempt failed attempt=" + QString::number(attempt_) + u" retryable=" +
        (retryable ? u"true" : u"false") + u" error=" + description);
    if (retryable && attempt_ < maxAttempts) {
        expiry_ = Expiry::None;
        retryTimer_.start();
        return;
    }
    end();
    Q_EMIT failed(description);
}

void LLMExchange::expire(Expiry expiry)
{
    expiry_ = expiry;
    if (reply_) {
        reply_->abort(); // finishes the attempt, which reports the time-out
        return;
    }
    end(); // waiting for the second attempt
    Q_EMIT failed(timedOutDescription);
}
