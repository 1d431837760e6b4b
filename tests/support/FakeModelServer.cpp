#include "FakeModelServer.h"

#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <memory>

#include <sys/socket.h>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

FakeModelServer::Response FakeModelServer::Response::events(const QByteArray &body)
{
    return events(QList<Piece>{{body, 0}});
}

FakeModelServer::Response FakeModelServer::Response::events(const QList<Piece> &pieces)
{
    Response response;
    response.headers = {{"Content-Type", "text/event-stream; charset=utf-8"}};
    response.pieces = pieces;
    return response;
}

FakeModelServer::Response FakeModelServer::Response::error(int status, const QByteArray &body,
                                                           const QByteArray &contentType)
{
    Response response;
    response.status = status;
    response.headers = {{"Content-Type", contentType}};
    response.pieces = {{body, 0}};
    response.chunked = false;
    return response;
}

FakeModelServer::Response FakeModelServer::Response::flooded(const QByteArray &block, int blocks) const
{
    Response response = *this;
    response.floodBlock = block;
    response.flood = block.size() * qint64(blocks);
    return response;
}

FakeModelServer::Response FakeModelServer::Response::without(Opening opening)
{
    Response response;
    response.opening = opening;
    return response;
}

FakeModelServer::FakeModelServer(std::optional<Tls> tls, QObject *parent)
    : QObject(parent)
    , tls_(tls.has_value())
{
    if (tls) {
        auto *server = new QSslServer(this);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(tls->certificate);
        configuration.setPrivateKey(tls->key);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(configuration);
        server_ = server;
    } else {
        server_ = new QTcpServer(this);
    }
    connect(server_, &QTcpServer::pendingConnectionAvailable, this, &FakeModelServer::accept);
    server_->listen(QHostAddress::LocalHost);
    clock_.start();
}

FakeModelServer::~FakeModelServer()
{
    for (auto it = incoming_.keyBegin(); it != incoming_.keyEnd(); ++it)
        (*it)->disconnect(this);
}

QString FakeModelServer::baseUrl() const
{
    return (tls_ ? u"https://localhost:" : u"http://127.0.0.1:") + QString::number(port());
}

void FakeModelServer::enqueue(const Response &response)
{
    script_.enqueue(response);
}

void FakeModelServer::accept()
{
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        incoming_.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            incoming_.remove(socket);
            socket->deleteLater();
        });
        readFrom(socket);
    }
}

void FakeModelServer::readFrom(QTcpSocket *socket)
{
    Incoming &pending = incoming_[socket];
    QByteArray &buffer = pending.bytes;
    const QByteArray arrived = socket->readAll();
    if (pending.startedAtMs < 0 && !arrived.isEmpty())
        pending.startedAtMs = clock_.elapsed();
    buffer += arrived;
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;

    Request request;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (buffer.size() < headEnd + 4 + length)
        return;
    request.body = buffer.mid(headEnd + 4, length);
    request.startedAtMs = pending.startedAtMs;
    request.receivedAtMs = clock_.elapsed();
    buffer.remove(0, headEnd + 4 + length);
    pending.startedAtMs = -1;
    requests_.append(request);

    respond(socket, script_.isEmpty() ? Response::error(500, "no scripted response") : script_.dequeue());
}

void FakeModelServer::respond(QTcpSocket *socket, const Response &response)
{
    if (response.opening == Response::Opening::Reset)
        resetConnection(socket);
    if (response.opening == Response::Opening::Close)
        socket->disconnectFromHost();
    if (response.opening != Response::Opening::Head)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    if (response.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else {
        qsizetype length = 0;
        for (const Piece &piece : response.pieces)
            length += piece.bytes.size();
        length += response.flood;
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    int delay = 0;
    QPointer<QTcpSocket> guarded(socket);
    for (const Piece &piece : response.pieces) {
        delay += piece.delayMs;
        QTimer::singleShot(delay, socket, [guarded, piece, chunked = response.chunked] {
            if (guarded)
                writePiece(guarded, piece.bytes, chunked);
        });
    }
    QTimer::singleShot(delay, socket, [guarded, response] {
        if (guarded && response.flood > 0)
            writeFlood(guarded, response);
        else if (guarded)
            finish(guarded, response.ending, response.chunked);
    });
}

// The server holds one block at a time, so the memory a flood takes is all the client's. Writing goes on while
// the system takes every block at once, and otherwise resumes as the last leaves.
void FakeModelServer::writeFlood(QTcpSocket *socket, const Response &response)
{
    struct Flood {
        qint64 left;
        bool writing = false; // a flush reports written bytes at once
    };
    auto flood = std::make_shared<Flood>(Flood{response.flood});
    auto more = [socket, flood, block = response.floodBlock, chunked = response.chunked, ending = response.ending] {
        if (flood->writing || flood->left == 0)
            return;
        flood->writing = true;
        while (flood->left > 0 && socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
            const qint64 size = std::min<qint64>(block.size(), flood->left);
            flood->left -= size;
            writePiece(socket, block.first(size), chunked);
        }
        flood->writing = false;
        if (flood->left == 0)
            finish(socket, ending, chunked);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

void FakeModelServer::writePiece(QTcpSocket *socket, const QByteArray &bytes, bool chunked)
{
    if (bytes.isEmpty())
        return;
    if (chunked)
        socket->write(QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n");
    else
        socket->write(bytes);
    socket->flush();
}

void FakeModelServer::finish(QTcpSocket *socket, Response::Ending ending, bool chunked)
{
    switch (ending) {
    case Response::Ending::Complete:
        if (chunked)
            socket->write("0\r\n\r\n");
        socket->disconnectFromHost();
        break;
    case Response::Ending::Reset:
        resetConnection(socket);
        break;
    case Response::Ending::Close:
        socket->disconnectFromHost();
        break;
    case Response::Ending::Hang:
        break;
    }
}

// Drops the connection with a reset rather than an orderly close.
void FakeModelServer::resetConnection(QTcpSocket *socket)
{
    socket->flush();
    const linger immediate{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediate, sizeof immediate);
    socket->abort();
}
