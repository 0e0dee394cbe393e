// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One updater per installation and user. The server half lives in the running
// updater (owned by its window); checkExistingInstance is the client half used
// at start-up. GUI thread only.
class SingleInstanceChecker : public QObject
{
    Q_OBJECT
public:
    // Starts listening under getLocalServerName(). A name left behind by an
    // updater that died is taken over; a name held by a live updater is not.
    explicit SingleInstanceChecker(QObject* parent);
    ~SingleInstanceChecker() override;

    static QString getLocalServerName();
    // The name for an executable path and a home directory.
    static QString serverNameFor(const QString& executablePath, const QString& homePath);
    // Hands message to a running instance; true when it was delivered.
    // Blocks for at most about two seconds.
    static bool checkExistingInstance(const QString& message);

    bool isListening() const;

signals:
    // Once per received message.
    void otherInstanceActivate(QString message);

private slots:
    void onNewConnection();
    void onReadyRead();

private:
    QLocalServer* m_server;
    QLocalSocket* m_socket;
};
