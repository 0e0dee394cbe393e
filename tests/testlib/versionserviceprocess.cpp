// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "testlib/versionserviceprocess.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QUdpSocket>

namespace {
const char MarkerHex[] = "ff00ff";
}

VersionServiceProcess::VersionServiceProcess(const QString& address)
    : m_address(address)
    , m_listening(false)
{
}

VersionServiceProcess::~VersionServiceProcess()
{
    stop();
}

bool VersionServiceProcess::start(const QStringList& options)
{
    stop();
    m_pending.clear();
    m_datagrams.clear();
    m_listening = false;
    m_process.setProgram(VERSION_SERVICE_EXE);
    m_process.setArguments(QStringList() << "--address" << m_address << options);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(5000);
    while (!m_listening && !deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return false;
        m_process.waitForReadyRead(100);
        readLog();
    }
    return m_listening;
}

void VersionServiceProcess::stop()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void VersionServiceProcess::readLog()
{
    m_pending += m_process.readAllStandardError();
    static const QRegularExpression line("^datagram port=(\\d+) from=\\S+ bytes=([0-9a-f]*)$");
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString text = QString::fromLatin1(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (text.startsWith("listening "))
            m_listening = true;
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            m_datagrams << match.captured(1) + " " + match.captured(2);
    }
}

QStringList VersionServiceProcess::datagrams()
{
    readLog();
    return m_datagrams;
}

bool VersionServiceProcess::waitForDatagrams(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readLog();
    while (m_datagrams.size() < count && !deadline.hasExpired()) {
        m_process.waitForReadyRead(50);
        readLog();
    }
    return m_datagrams.size() >= count;
}

QStringList VersionServiceProcess::settledDatagrams()
{
    QUdpSocket marker;
    marker.writeDatagram(QByteArray::fromHex(MarkerHex), QHostAddress(m_address), 17384);
    const QString markerEntry = QStringLiteral("17384 ") + MarkerHex;
    QDeadlineTimer deadline(5000);
    readLog();
    while (!m_datagrams.contains(markerEntry) && !deadline.hasExpired()) {
        m_process.waitForReadyRead(50);
        readLog();
    }
    QStringList result = m_datagrams;
    result.removeAll(markerEntry);
    return result;
}
