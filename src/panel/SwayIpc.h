#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QObject>

#include <optional>

// A connection to Sway's IPC socket: messages framed as "i3-ipc", a 32-bit payload length and a 32-bit
// type in the machine's byte order, then a JSON payload. Replies come back in the order of the requests;
// events of a subscription carry the type's high bit.
class SwayIpc : public QObject {
    Q_OBJECT
public:
    enum Type : quint32 { RunCommand = 0, Subscribe = 2, GetTree = 4 };
    static constexpr quint32 eventBit = 0x80000000;
    static constexpr quint32 windowEvent = eventBit | 3;
    // Far beyond any reply of Sway's; a header that claims more is garbage, not a reason to buffer on.
    static constexpr quint32 maximumPayload = 64 << 20;

    struct Message {
        quint32 type = 0;
        QJsonDocument payload;
    };

    explicit SwayIpc(const QString &socketPath, QObject *parent = nullptr);

    bool isConnected() const { return socket_.state() == QLocalSocket::ConnectedState; }
    // Sent at once when connected, else once the connection is made.
    void send(quint32 type, const QByteArray &payload);

    static QByteArray frame(quint32 type, const QByteArray &payload);
    // The first whole message at the start of `buffer`, taken out of it; nothing while it is incomplete.
    // A buffer that does not start with the magic, or announces more than `maximumPayload`, is garbage and is
    // dropped.
    static std::optional<Message> take(QByteArray &buffer);

Q_SIGNALS:
    void received(const SwayIpc::Message &message);
    void failed(const QString &reason); // the connection could not be made, or broke

private:
    void readAvailable();

    QLocalSocket socket_;
    QByteArray buffer_;
    QByteArray pending_; // written once connected
};
