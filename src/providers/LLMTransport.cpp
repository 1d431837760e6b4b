#include "providers/LLMTransport.h"

#include <QCoreApplication>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QThread>

namespace {

struct NetworkThread {
    QThread thread;
    QObject *context = nullptr;               // lives on `thread`; parent of every exchange in flight
    QNetworkAccessManager *manager = nullptr; // created lazily on `thread`

    QMutex mutex; // guards the settings below
    LLMTransport::Limits limits;
    QList<QSslCertificate> additionalCaCertificates;

    ~NetworkThread()
    {
        thread.quit();
        thread.wait();
    }
};

NetworkThread &instance()
{
    static NetworkThread state;
    return state;
}

// Ends what is still in flight on the network thread and stops it, before the application goes away.
void shutDown()
{
    NetworkThread &state = instance();
    if (!state.thread.isRunning())
        return;
    QMetaObject::invokeMethod(
        state.context,
        [&state] {
            qDeleteAll(state.context->children());
            delete std::exchange(state.manager, nullptr);
        },
        Qt::BlockingQueuedConnection);
    state.thread.quit();
    state.thread.wait();
    delete std::exchange(state.context, nullptr); // its thread has stopped, so any thread may delete it
}

} // namespace

QObject *LLMTransport::threadContext()
{
    static QObject *context = [] {
        NetworkThread &state = instance();
        state.thread.setObjectName(QStringLiteral("LLMNetwork"));
        state.context = new QObject;
        state.context->moveToThread(&state.thread);
        state.thread.start();
        qAddPostRoutine(shutDown);
        return state.context;
    }();
    return context;
}

QObject *LLMTransport::context()
{
    return instance().context;
}

QNetworkAccessManager &LLMTransport::network()
{
    NetworkThread &state = instance();
    Q_ASSERT(QThread::currentThread() == &state.thread);
    if (!state.manager) {
        state.manager = new QNetworkAccessManager;
        // A redirect would resend the key to whatever host the answer names; a 3xx is an error instead.
        state.manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *state.manager;
}

LLMTransport::Limits LLMTransport::limits()
{
    NetworkThread &state = instance();
    QMutexLocker lock(&state.mutex);
    return state.limits;
}

void LLMTransport::setLimits(Limits limits)
{
    NetworkThread &state = instance();
    QMutexLocker lock(&state.mutex);
    state.limits = limits;
}

QSslConfiguration LLMTransport::sslConfiguration()
{
    NetworkThread &state = instance();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QMutexLocker lock(&state.mutex);
    configuration.addCaCertificates(state.additionalCaCertificates);
    return configuration;
}

void LLMTransport::setAdditionalCaCertificates(const QList<QSslCertificate> &certificates)
{
    NetworkThread &state = instance();
    QMutexLocker lock(&state.mutex);
    state.additionalCaCertificates = certificates;
}
