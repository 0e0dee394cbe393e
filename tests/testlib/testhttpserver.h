// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// In-process HTTP/1.1 server for tests, on a loopback address. Every response
// closes its connection. Paths without a route get 404. Lives on the thread
// whose event loop the test runs; the client under test must share it.
//
//   TestHttpServer server;
//   QVERIFY(server.listen(QHostAddress("127.0.0.7")));
//   server.setRoute("/1/a.txt", TestHttpServer::Route::whole("hello"));
//   ... fetch server.url("/1/a.txt") ...
//   QCOMPARE(server.requestCount("/1/a.txt"), 1);
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    enum Mode {
        Whole,          // headers and the whole body at once
        Slow,           // body in pieces of pieceSize, one every intervalMs
        Chunked,        // Transfer-Encoding: chunked, pieces of pieceSize
        TruncateClose,  // announce the whole body, send sendBytes of it, close
        Stall,          // headers and sendBytes of the body, then silence (kept open)
        NoContentLength // body without Content-Length, ended by closing
    };

    struct Route
    {
        int status = 200;
        QByteArray reason;  // empty: a standard phrase for the status
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        Mode mode = Whole;
        int pieceSize = 1024;
        int intervalMs = 5;
        qint64 sendBytes = 0;
        // Byte positions of the body flipped (xor 0xff) before sending.
        QList<qint64> corruptAt;

        static Route whole(const QByteArray& body);
        static Route withStatus(int code, const QByteArray& body = QByteArray());
        // 301, 302, 307, ... with a Location header.
        static Route redirect(const QByteArray& location, int code = 301);
        // 401 with a Basic challenge.
        static Route authChallenge();
        static Route stall(qint64 bytesBeforeSilence = 0, qint64 announcedSize = -1);
    };

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    // Only loopback addresses are accepted. Port 0 picks a free one.
    bool listen(const QHostAddress& address, quint16 port = 0);
    // "http://<address>:<port>" without a trailing slash.
    QString baseUrl() const;
    QString url(const QString& path) const;

    void setRoute(const QString& path, const Route& route);
    void removeRoute(const QString& path);

    // GET requests received per path (query stripped), and in arrival order.
    int requestCount(const QString& path) const;
    int totalRequests() const;
    QStringList requestLog() const;
    // Connections currently open (stalled ones included).
    int openConnections() const;

signals:
    void requestReceived(const QString& path);

private slots:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();

private:
    struct Pending
    {
        QByteArray body;
        qint64 offset = 0;
        int pieceSize = 0;
        int intervalMs = 0;
        bool chunked = false;
    };

    void respond(QTcpSocket* socket, const QString& path);
    void sendNextPiece(QTcpSocket* socket);

    QTcpServer* m_server;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_counts;
    QStringList m_log;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QTcpSocket*, Pending> m_pending;
};
