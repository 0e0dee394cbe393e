// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "testlib/testhttpserver.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}
}

TestHttpServer::Route TestHttpServer::Route::whole(const QByteArray& body)
{
    Route r;
    r.body = body;
    return r;
}

TestHttpServer::Route TestHttpServer::Route::withStatus(int code, const QByteArray& body)
{
    Route r;
    r.status = code;
    r.body = body;
    return r;
}

TestHttpServer::Route TestHttpServer::Route::redirect(const QByteArray& location, int code)
{
    Route r;
    r.status = code;
    r.headers.append(qMakePair(QByteArray("Location"), location));
    return r;
}

TestHttpServer::Route TestHttpServer::Route::authChallenge()
{
    Route r;
    r.status = 401;
    r.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"mirror\"")));
    r.body = "authentication required";
    return r;
}

TestHttpServer::Route TestHttpServer::Route::stall(qint64 bytesBeforeSilence, qint64 announcedSize)
{
    Route r;
    r.mode = Stall;
    r.sendBytes = bytesBeforeSilence;
    r.body = QByteArray(qMax(bytesBeforeSilence, announcedSize), 'x');
    return r;
}

TestHttpServer::TestHttpServer(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, SIGNAL(newConnection()), this, SLOT(onNewConnection()));
}

TestHttpServer::~TestHttpServer()
{
    const QList<QTcpSocket*> sockets = m_buffers.keys();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool TestHttpServer::listen(const QHostAddress& address, quint16 port)
{
    if (!address.isLoopback())
        return false;
    return m_server->listen(address, port);
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("http://%1:%2").arg(m_server->serverAddress().toString()).arg(m_server->serverPort());
}

QString TestHttpServer::url(const QString& path) const
{
    return baseUrl() + path;
}

void TestHttpServer::setRoute(const QString& path, const Route& route)
{
    m_routes.insert(path, route);
}

void TestHttpServer::removeRoute(const QString& path)
{
    m_routes.remove(path);
}

int TestHttpServer::requestCount(const QString& path) const
{
    return m_counts.value(path);
}

int TestHttpServer::totalRequests() const
{
    return m_log.size();
}

QStringList TestHttpServer::requestLog() const
{
    return m_log;
}

int TestHttpServer::openConnections() const
{
    return m_buffers.size();
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        connect(socket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
        connect(socket, SIGNAL(disconnected()), this, SLOT(onDisconnected()));
    }
}

void TestHttpServer::onDisconnected()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    m_buffers.remove(socket);
    m_pending.remove(socket);
    socket->deleteLater();
}

void TestHttpServer::onReadyRead()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (!m_buffers.contains(socket))
        return;
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const int end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray requestLine = buffer.left(buffer.indexOf("\r\n"));
    buffer.clear();
    // One request per connection: later bytes are ignored.
    disconnect(socket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    const QList<QByteArray> parts = requestLine.split(' ');
    const QString target = parts.size() > 1 ? QString::fromLatin1(parts.at(1)) : QString();
    const QString path = QUrl(target).path();
    m_counts[path] += 1;
    m_log.append(path);
    emit requestReceived(path);
    respond(socket, path);
}

void TestHttpServer::respond(QTcpSocket* socket, const QString& path)
{
    Route route;
    if (m_routes.contains(path))
        route = m_routes.value(path);
    else
        route = Route::withStatus(404, "not found");

    QByteArray body = route.body;
    for (qint64 position : route.corruptAt) {
        if (position >= 0 && position < body.size())
            body[position] = char(body.at(position) ^ 0xff);
    }

    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + ' '
        + (route.reason.isEmpty() ? reasonPhrase(route.status) : route.reason) + "\r\n";
    head += "Connection: close\r\n";
    if (route.mode == Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (route.mode != NoContentLength)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const auto& header : route.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    socket->write(head);

    switch (route.mode) {
    case Whole:
    case NoContentLength:
        socket->write(body);
        socket->disconnectFromHost();
        break;
    case TruncateClose:
        socket->write(body.left(route.sendBytes));
        socket->disconnectFromHost();
        break;
    case Stall:
        socket->write(body.left(route.sendBytes));
        socket->flush();
        break;
    case Slow:
    case Chunked: {
        Pending pending;
        pending.body = body;
        pending.pieceSize = qMax(1, route.pieceSize);
        pending.intervalMs = route.mode == Slow ? route.intervalMs : 0;
        pending.chunked = route.mode == Chunked;
        m_pending.insert(socket, pending);
        sendNextPiece(socket);
        break;
    }
    }
}

void TestHttpServer::sendNextPiece(QTcpSocket* socket)
{
    if (!m_pending.contains(socket))
        return;
    Pending& pending = m_pending[socket];
    const QByteArray piece = pending.body.mid(pending.offset, pending.pieceSize);
    pending.offset += piece.size();
    if (pending.chunked && !piece.isEmpty())
        socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
    else
        socket->write(piece);
    if (pending.offset >= pending.body.size()) {
        if (pending.chunked)
            socket->write("0\r\n\r\n");
        m_pending.remove(socket);
        socket->disconnectFromHost();
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    QTimer::singleShot(pending.intervalMs, this, [this, guard]() {
        if (guard)
            sendNextPiece(guard);
    });
}
