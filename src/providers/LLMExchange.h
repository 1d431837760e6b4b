#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>

// One POST to a provider. Only the start is retried: at most two attempts a second apart, and only
// while no response head has arrived and the failure is one a second try may cure. After the head the
// body streams through the signals; a failure there ends the exchange. Both time limits (inactivity and
// whole exchange) are enforced here. Lives on the network thread.
class LLMExchange : public QObject {
    Q_OBJECT
public:
    LLMExchange(const QNetworkRequest &request, const QByteArray &body, const QString &category,
                QObject *parent = nullptr);
    ~LLMExchange() override;

    void start();
    void abort(); // ends the exchange without any further signal

    static bool isRetryable(QNetworkReply::NetworkError error);

Q_SIGNALS:
    void headReceived(int status, const QByteArray &contentType);
    void bodyReceived(const QByteArray &chunk);
    void completed();
    void failed(const QString &description);

private:
    enum class Expiry { None, Inactivity, Exchange };

    void startAttempt();
    void noteHead();
    void forwardBody();
    void attemptFinished();
    void expire(Expiry expiry);
    void end();
    void log(const QString &message) const;

    QNetworkRequest request_;
    QByteArray body_;
    QString category_;
    int attempt_ = 0;
    QNetworkReply *reply_ = nullptr;
    bool headSeen_ = false;
    Expiry expiry_ = Expiry::None;
    QTimer inactivityTimer_;
    QTimer exchangeTimer_;
    QTimer retryTimer_;
};
