#include "panel/SwayIpc.h"

#include <cstring>

namespace {
constexpr char magic[] = "i3-ipc";
constexpr qsizetype magicSize = sizeof(magic) - 1;
constexpr qsizetype headerSize = magicSize + 2 * sizeof(quint32);
} // namespace

SwayIpc::SwayIpc(const QString &socketPath, QObject *parent)
    : QObject(parent)
{
    connect(&socket_, &QLocalSocket::readyRead, this, &SwayIpc::readAvailable);
    connect(&socket_, &QLocalSocket::connected, this, [this] { socket_.write(std::exchange(pending_, {})); });
    connect(&socket_, &QLocalSocket::errorOccurred, this, [this] { Q_EMIT failed(socket_.errorString()); });
    socket_.connectToServer(socketPath);
}

QByteArray SwayIpc::frame(quint32 type, const QByteArray &payload)
{
    const quint32 header[] = {quint32(payload.size()), type};
    QByteArray message(magic, magicSize);
    message.append(reinterpret_cast<const char *>(header), sizeof(header));
    return message + payload;
}

std::optional<SwayIpc::Message> SwayIpc::take(QByteArray &buffer)
{
    if (buffer.size() >= magicSize && !buffer.startsWith(magic)) {
        buffer.clear();
        return std::nullopt;
    }
    if (buffer.size() < headerSize)
        return std::nullopt;
    quint32 header[2];
    std::memcpy(header, buffer.constData() + magicSize, sizeof(header));
    if (header[0] > maximumPayload) {
        buffer.clear();
        return std::nullopt;
    }
    if (buffer.size() - headerSize < qsizetype(header[0]))
        return std::nullopt;
    Message message{header[1], QJsonDocument::fromJson(buffer.mid(headerSize, header[0]))};
    buffer.remove(0, headerSize + header[0]);
    return message;
}

void SwayIpc::send(quint32 type, const QByteArray &payload)
{
    if (!isConnected()) {
        pending_ += frame(type, payload);
        return;
    }
    socket_.write(frame(type, payload));
    // Out before the window it concerns reaches the compositor.
    socket_.flush();
}

void SwayIpc::readAvailable()
{
    buffer_ += socket_.readAll();
    while (std::optional<Message> message = take(buffer_))
        Q_EMIT received(*message);
}
