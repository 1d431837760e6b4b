#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <functional>

// One call to an XDG desktop portal whose answer comes later, as the Response signal of a request
// object (the desktop may first ask the user). The request's path is known before the call, so the
// answer cannot arrive before it is listened for. Main thread, session bus.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    static const QString service;
    static const QString desktopPath;

    using Answer = std::function<void(uint response, const QVariantMap &results)>;

    explicit PortalRequest(QObject *parent = nullptr);
    ~PortalRequest() override;

    // Calls `method` of `interface` with `arguments` followed by `options` (a handle token is added).
    // `answered` gets the response (0 = granted); `unavailable` runs when the call itself fails (no
    // portal, or none with this interface). A new send drops the previous request.
    void send(const QString &interface, const QString &method, QList<QVariant> arguments, QVariantMap options,
              Answer answered, std::function<void()> unavailable);
    void drop();

    // A token for the handles of requests and sessions.
    static QString token();

private Q_SLOTS:
    void response(uint response, const QVariantMap &results);

private:
    void dispatch();

    QString path_;
    Answer answered_;
    QDBusMessage call_; // until the registration has been answered
    std::function<void()> unavailable_;
};
