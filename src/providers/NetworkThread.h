#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <chrono>

class QNetworkAccessManager;
class QObject;

// The one HTTP client of the model and transcription services. All network work runs on a dedicated thread that owns
// the QNetworkAccessManager: reading the stream as events and parsing the JSON of each then never competes with
// painting on the main thread, which only receives finished fragments. The thread is started on first use and
// stopped when the application object goes away.
class NetworkThread {
public:
    NetworkThread() = delete;

    struct Limits {
        std::chrono::milliseconds inactivity{std::chrono::seconds(180)}; // no byte moved for this long
        std::chrono::milliseconds exchange{std::chrono::seconds(600)};   // the whole exchange, body included
    };

    // Any thread. Runs `work` on the network thread, after the work posted before it.
    template <typename Work> static void post(Work &&work);

    // Network thread only.
    static QNetworkAccessManager &network();
    static QObject *context(); // parent for objects that live on the network thread

    static Limits limits();
    static void setLimits(Limits limits); // tests shorten them

    // The system's trusted authorities plus these (a test server's own authority, for example).
    static QSslConfiguration sslConfiguration();
    static void setAdditionalCaCertificates(const QList<QSslCertificate> &certificates);

private:
    static QObject *threadContext(); // starts the thread on first use
};

#include <QMetaObject>

template <typename Work> void NetworkThread::post(Work &&work)
{
    QMetaObject::invokeMethod(threadContext(), std::forward<Work>(work), Qt::QueuedConnection);
}
