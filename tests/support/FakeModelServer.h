#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

#include <optional>

class QTcpSocket;

// A stand-in for the model services on the loopback interface. Each request gets the next scripted
// response (or a 500 when none is left); every request is recorded for assertions. With a certificate
// it speaks TLS.
class FakeModelServer : public QObject {
    Q_OBJECT
public:
    struct Piece {
        QByteArray bytes;
        int delayMs = 0; // pause before these bytes
    };

    struct Response {
        enum class Opening { Head, Reset, Close, Silence }; // all but Head send nothing at all
        enum class Ending { Complete, Reset, Close, Hang }; // Close: an orderly close, no last chunk

        int status = 200;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QList<Piece> pieces; // the body, one write (and one chunk when chunked) per piece
        bool chunked = true;
        Opening opening = Opening::Head;
        Ending ending = Ending::Complete;
        qint64 flood = 0; // filler bytes after the pieces, each block written once the client took the last
        QByteArray floodBlock = QByteArray(64 * 1024, ' '); // the filler, over and over

        static Response events(const QByteArray &body); // 200, text/event-stream, one piece
        static Response events(const QList<Piece> &pieces);
        static Response error(int status, const QByteArray &body, const QByteArray &contentType = "application/json");
        static Response json(int status, const QByteArray &body) { return error(status, body); } // any status
        static Response without(Opening opening);                    // Reset, Close or Silence
        Response flooded(const QByteArray &block, int blocks) const; // then `blocks` copies of `block`
    };

    struct Request {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        qint64 startedAtMs = 0;  // first byte, in elapsedMs() time
        qint64 receivedAtMs = 0; // last byte
    };

    struct Tls {
        QSslCertificate certificate;
        QSslKey key;
    };

    explicit FakeModelServer(std::optional<Tls> tls = std::nullopt, QObject *parent = nullptr);
    ~FakeModelServer() override;

    quint16 port() const { return server_->serverPort(); }
    QString baseUrl() const; // "http://127.0.0.1:<port>" or "https://localhost:<port>"

    void enqueue(const Response &response);
    qint64 elapsedMs() const { return clock_.elapsed(); } // since the server started
    const QList<Request> &requests() const { return requests_; }

private:
    void accept();
    void readFrom(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const Response &response);
    static void writePiece(QTcpSocket *socket, const QByteArray &bytes, bool chunked);
    static void writeFlood(QTcpSocket *socket, const Response &response);
    static void finish(QTcpSocket *socket, Response::Ending ending, bool chunked);
    static void resetConnection(QTcpSocket *socket);

    QTcpServer *server_;
    bool tls_;
    QElapsedTimer clock_;
    QQueue<Response> script_;
    QList<Request> requests_;
    struct Incoming {
        QByteArray bytes;
        qint64 startedAtMs = -1;
    };
    QMap<QTcpSocket *, Incoming> incoming_;
};
