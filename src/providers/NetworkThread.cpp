#include "providers/NetworkThread.h"

#include <QCoreApplication>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QThread>

namespace {

struct ThreadState {
    QThread thread;
    QObject *context = nullptr;               // lives on `thread`; parent of every exchange in flight
    QNetworkAccessManager *manager = nullptr; // created lazily on `thread`

    QMutex mutex; // guards the settings below
    NetworkThread::Limits limits;
    QList<QSslCertificate> additionalCaCertificates;

    ~ThreadState()
    {
        thread.quit();
        thread.wait();
    }
};

ThreadState &instance()
{
    static ThreadState state;
    return state;
}

// Ends what is still in flight on the network thread and stops it, before the application goes away.
void shutDown()
{
    ThreadState &state = instance();
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

QObject *NetworkThread::threadContext()
{
    static QObject *context = [] {
        ThreadState &state = instance();
        state.thread.setObjectName(QStringLiteral("LLMNetwork"));
        state.context = new QObject;
        state.context->moveToThread(&state.thread);
        state.thread.start();
        qAddPostRoutine(shutDown);
        return state.context;
    }();
    return context;
}

QObject *NetworkThread::context()
{
    return instance().context;
}

QNetworkAccessManager &NetworkThread::network()
{
    ThreadState &state = instance();
    Q_ASSERT(QThread::currentThread() == &state.thread);
    if (!state.manager) {
        state.manager = new QNetworkAccessManager;
        // A redirect would resend the key to whatever host the answer names; a 3xx is an error instead.
        state.manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *state.manager;
}

NetworkThread::Limits NetworkThread::limits()
{
    ThreadState &state = instance();
    QMutexLocker lock(&state.mutex);
    return state.limits;
}

void NetworkThread::setLimits(Limits limits)
{
    ThreadState &state = instance();
    QMutexLocker lock(&state.mutex);
    state.limits = limits;
}

QSslConfiguration NetworkThread::sslConfiguration()
{
    ThreadState &state = instance();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QMutexLocker lock(&state.mutex);
    configuration.addCaCertificates(state.additionalCaCertificates);
    return configuration;
}

void NetworkThread::setAdditionalCaCertificates(const QList<QSslCertificate> &certificates)
{
    ThreadState &state = instance();
    QMutexLocker lock(&state.mutex);
    state.additionalCaCertificates = certificates;
}
