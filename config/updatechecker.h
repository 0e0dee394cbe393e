// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The user's update channel; also the index of its entry in the version list reply.
enum UpdateChannel {
    StableChannel = 0,
    BetaChannel = 1,
    AlphaChannel = 2
};

// Blocking UDP client of the version service (port 17384 of the update server
// host). Used for one query on the main thread and then discarded.
class UpdateChecker
{
public:
    static const quint16 ServicePort = 17384;
    // Read limits of the two replies; longer datagrams are cut.
    static const int VersionReplyLimit = 511;
    static const int NewsReplyLimit = 4095;
    static const int ReceiveTimeoutMs = 5000;

    // host: name or IPv4 address of the update server host.
    explicit UpdateChecker(const QString& host);

    bool checkUpdate();
    bool readFromServer();
    // Entry number `channel` of the version list; a pair of null strings if absent.
    QPair<QString, QString> getClientVersionByChannel(UpdateChannel channel) const;

    // Splits a version list reply into (version number text, version text) pairs.
    // The text ends at the first NUL byte; empty entries are kept.
    static QList<QPair<QString, QString> > parseVersionList(const QByteArray& reply);
    // The reply text up to the first NUL byte, one character per byte.
    static QString replyText(const QByteArray& reply);

    QList<QPair<QString, QString> > m_versions;
    QString m_news;

private:
    QString m_host;
};
