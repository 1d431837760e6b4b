#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// Small HTTP exchanges whose whole answer is read into memory (model lists, predictions, feeds), so that none
// can be made to hold more than it expects or to hand a key to another address. A request carrying a key or an
// upload never follows a redirect: the 3xx fails and nothing goes to the address it names. Every exchange has a
// deadline and a cap on its body, past which reading stops. Same TLS trust as the model requests. Lives on one thread.
class QHttpMultiPart;

class BoundedFetch : public QObject {
    Q_OBJECT
public:
    struct Request {
        QUrl url;
        QString apiKey;                 // sent as a bearer token; none when empty
        std::optional<QByteArray> json; // POSTed as application/json; a GET without
        std::chrono::milliseconds deadline{15000};
        qint64 bodyLimit = 0;
        QHttpMultiPart *form = nullptr; // POSTed instead of `json` when set; the exchange takes it over
        // Each piece of the body as it arrives, for answers that are read while they are made.
        std::function<void(QByteArrayView piece)> received;
    };

    struct Reply {
        int status = -1; // -1 when no HTTP answer came
        QByteArray body; // never longer than the request's bodyLimit
        QString error;   // why no whole answer came; empty for any complete answer, an HTTP error status included
    };
    using Done = std::function<void(const Reply &)>;

    explicit BoundedFetch(QObject *parent = nullptr);
    ~BoundedFetch() override;

    // `done` runs once, when the exchange ends, unless cancelAll() or the destructor comes first.
    void start(const Request &request, Done done);
    void cancelAll();

private:
    QNetworkAccessManager network_;
};
