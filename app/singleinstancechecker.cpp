// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "app/singleinstancechecker.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <memory>

namespace {

const int ConnectTimeoutMs = 1000;
const int WriteTimeoutMs = 1000;
// Only decides whether somebody still serves the name; a live updater accepts
// at once because the kernel queues the connection.
const int ProbeTimeoutMs = 200;

bool someoneListens(const QString& name)
{
    QLocalSocket probe;
    probe.connectToServer(name, QIODevice::ReadWrite);
    const bool live = probe.waitForConnected(ProbeTimeoutMs);
    probe.abort();
    return live;
}

} // namespace

SingleInstanceChecker::SingleInstanceChecker(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
    , m_socket(nullptr)
{
    connect(m_server, SIGNAL(newConnection()), this, SLOT(onNewConnection()));
    const QString name = getLocalServerName();
    if (!m_server->listen(name)
        && m_server->serverError() == QAbstractSocket::AddressInUseError
        && !someoneListens(name)) {
        // The entry of an updater that ended abnormally would otherwise switch
        // the guard off for good.
        QLocalServer::removeServer(name);
        m_server->listen(name);
    }
}

SingleInstanceChecker::~SingleInstanceChecker()
{
    m_server->close();
    if (m_socket)
        m_socket->close();
}

QString SingleInstanceChecker::getLocalServerName()
{
    return serverNameFor(QCoreApplication::applicationFilePath(), QDir::homePath());
}

QString SingleInstanceChecker::serverNameFor(const QString& executablePath, const QString& homePath)
{
    QString text = executablePath.toLower() + homePath;
    text.remove('/');
    text.remove(':');
    const QByteArray bytes = text.toUtf8();
    const quint16 sum = qChecksum(QByteArrayView(bytes));
    return QStringLiteral("CVXClientUpdate") + QString::number(sum, 16);
}

bool SingleInstanceChecker::checkExistingInstance(const QString& message)
{
    std::unique_ptr<QLocalSocket> socket(new QLocalSocket());
    socket->connectToServer(getLocalServerName(), QIODevice::ReadWrite);
    if (!socket->waitForConnected(ConnectTimeoutMs))
        return false;
    const QByteArray bytes = message.toLatin1();
    if (socket->write(bytes) <= 0)
        return false;
    const bool flushed = socket->bytesToWrite() == 0 || socket->waitForBytesWritten(WriteTimeoutMs);
    socket->disconnectFromServer();
    return flushed;
}

bool SingleInstanceChecker::isListening() const
{
    return m_server->isListening();
}

void SingleInstanceChecker::onNewConnection()
{
    if (m_socket) {
        delete m_socket;
        m_socket = nullptr;
    }
    m_socket = m_server->nextPendingConnection();
    if (m_socket)
        connect(m_socket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
}

void SingleInstanceChecker::onReadyRead()
{
    if (!m_socket)
        return;
    QByteArray bytes = m_socket->readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    const QString message = QString::fromLatin1(bytes);
    // Detach first: a slot connected to the signal may delete or replace things.
    QLocalSocket* socket = m_socket;
    m_socket = nullptr;
    emit otherInstanceActivate(message);
    socket->deleteLater();
}
