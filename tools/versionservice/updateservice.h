// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

class QUdpSocket;

// The two UDP sockets of the reference service and their answers.
class UpdateService : public QObject
{
    Q_OBJECT
public:
    struct Settings {
        QHostAddress address;
        quint16 versionPort = 17384;
        quint16 bannerPort = 2009;
        QByteArray versions;
        QByteArray news;
        QByteArray banner;
        bool answerVersions = true;
        bool answerNews = true;
        bool answerBanner = true;
    };

    explicit UpdateService(const Settings& settings, QObject* parent = nullptr);

    // Binds both sockets; false with a reason when one cannot be bound.
    bool start(QString* error);

private slots:
    void onReadyRead();

private:
    Settings m_settings;
    QUdpSocket* m_versionSocket;
    QUdpSocket* m_bannerSocket;
};
