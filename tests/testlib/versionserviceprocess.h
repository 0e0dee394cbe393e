// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The reference update service (versionservice) as a child process bound to
// one loopback address. Killed when destroyed.
class VersionServiceProcess
{
public:
    explicit VersionServiceProcess(const QString& address);
    ~VersionServiceProcess();

    // Starts with the given answer options (see versionservice --help) and
    // waits until both ports are bound.
    bool start(const QStringList& options);
    void stop();
    QString address() const { return m_address; }

    // Datagrams received so far, one entry each: "<local port> <hex bytes>".
    QStringList datagrams();
    // Waits until at least `count` datagrams were logged.
    bool waitForDatagrams(int count, int timeoutMs = 5000);
    // Every datagram sent to the service before this call, as datagrams():
    // a marker is sent and waited for, then left out of the result.
    QStringList settledDatagrams();

private:
    void readLog();

    QString m_address;
    QProcess m_process;
    QByteArray m_pending;
    QStringList m_datagrams;
    bool m_listening;
};
