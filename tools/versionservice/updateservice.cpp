// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tools/versionservice/updateservice.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <cstdio>

UpdateService::UpdateService(const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_versionSocket(new QUdpSocket(this))
    , m_bannerSocket(new QUdpSocket(this))
{
    connect(m_versionSocket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    connect(m_bannerSocket, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
}

bool UpdateService::start(QString* error)
{
    if (!m_versionSocket->bind(m_settings.address, m_settings.versionPort)) {
        *error = m_versionSocket->errorString();
        return false;
    }
    if (!m_bannerSocket->bind(m_settings.address, m_settings.bannerPort)) {
        *error = m_bannerSocket->errorString();
        return false;
    }
    std::fprintf(stderr, "listening %s %u %u\n", qPrintable(m_settings.address.toString()),
                 m_settings.versionPort, m_settings.bannerPort);
    std::fflush(stderr);
    return true;
}

void UpdateService::onReadyRead()
{
    QUdpSocket* socket = qobject_cast<QUdpSocket*>(sender());
    if (!socket)
        return;
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        const QByteArray data = datagram.data();
        std::fprintf(stderr, "datagram port=%u from=%s:%d bytes=%s\n", socket->localPort(),
                     qPrintable(datagram.senderAddress().toString()), datagram.senderPort(),
                     data.toHex().constData());
        std::fflush(stderr);

        const QByteArray* answer = nullptr;
        if (socket == m_versionSocket) {
            if (data == QByteArray("\x33\x00", 2) && m_settings.answerVersions)
                answer = &m_settings.versions;
            else if (data == QByteArray("\x2a\x00", 2) && m_settings.answerNews)
                answer = &m_settings.news;
        } else if (data == QByteArray("\x01\x01", 2) && m_settings.answerBanner) {
            answer = &m_settings.banner;
        }
        if (answer)
            socket->writeDatagram(*answer, datagram.senderAddress(), datagram.senderPort());
    }
}
