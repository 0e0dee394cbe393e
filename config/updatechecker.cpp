// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/updatechecker.h"

#include <QStringList>

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Closes the socket however the query ends.
class SocketGuard
{
public:
    explicit SocketGuard(int fd) : m_fd(fd) {}
    ~SocketGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool sendRequest(int fd, const sockaddr_in& to, char code)
{
    const char request[2] = { code, '\0' };
    ssize_t sent;
    do {
        sent = ::sendto(fd, request, sizeof(request), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof(request));
}

// One datagram of at most `limit` bytes; the rest of a longer one is dropped.
bool receiveReply(int fd, int limit, QByteArray* reply)
{
    QByteArray buffer(limit + 1, '\0');
    // A socket with a receive time-out is never restarted after a signal
    // handler ran; a signal is no reason to fail the query.
    ssize_t got;
    do {
        got = ::recv(fd, buffer.data(), limit, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return false;
    buffer.truncate(static_cast<int>(got));
    *reply = buffer;
    return true;
}

} // namespace

UpdateChecker::UpdateChecker(const QString& host)
    : m_host(host)
{
}

bool UpdateChecker::checkUpdate()
{
    return readFromServer();
}

bool UpdateChecker::readFromServer()
{
    // A retried query must not append to the entries of an earlier attempt.
    m_versions.clear();
    m_news.clear();

    SocketGuard socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (socket.fd() < 0)
        return false;

    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* found = nullptr;
    const QByteArray hostName = m_host.toLatin1();
    if (hostName.isEmpty() || ::getaddrinfo(hostName.constData(), nullptr, &hints, &found) != 0
        || !found)
        return false;
    sockaddr_in service;
    std::memcpy(&service, found->ai_addr, sizeof(service));
    ::freeaddrinfo(found);
    service.sin_port = htons(ServicePort);

    if (!sendRequest(socket.fd(), service, 0x33))
        return false;

    timeval timeout;
    timeout.tv_sec = ReceiveTimeoutMs / 1000;
    timeout.tv_usec = (ReceiveTimeoutMs % 1000) * 1000;
    if (::setsockopt(socket.fd(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0)
        return false;

    QByteArray reply;
    if (!receiveReply(socket.fd(), VersionReplyLimit, &reply))
        return false;
    const QList<QPair<QString, QString> > versions = parseVersionList(reply);

    if (!sendRequest(socket.fd(), service, 0x2A))
        return false;
    if (!receiveReply(socket.fd(), NewsReplyLimit, &reply))
        return false;

    m_versions = versions;
    m_news = replyText(reply);
    return true;
}

QPair<QString, QString> UpdateChecker::getClientVersionByChannel(UpdateChannel channel) const
{
    if (channel >= 0 && channel < m_versions.size())
        return m_versions.at(channel);
    return QPair<QString, QString>();
}

QString UpdateChecker::replyText(const QByteArray& reply)
{
    const int nul = reply.indexOf('\0');
    return QString::fromLatin1(nul < 0 ? reply : reply.left(nul));
}

QList<QPair<QString, QString> > UpdateChecker::parseVersionList(const QByteArray& reply)
{
    QList<QPair<QString, QString> > versions;
    const QStringList parts = replyText(reply).split(',', Qt::KeepEmptyParts);
    for (const QString& part : parts) {
        const int hash = part.indexOf('#');
        if (hash < 0)
            versions.append(qMakePair(part, QString()));
        else
            versions.append(qMakePair(part.left(hash), part.mid(hash + 1)));
    }
    return versions;
}
