// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QObject>
#include <QSettings>
#include <QString>
#include <QVector>

// One mirror of the pool. A plain value: transfers keep their own copy, and
// every pool call finds the mirror again by name.
struct FTPSiteAccessData
{
    QString name;
    // Configured base URL, one trailing "/", then the target version number.
    QString url;
    // Failures tolerated; the mirror is retired at failure retries + 1.
    qint32 retries = 0;
    // Ticks without data after which a transfer on this mirror gives up.
    qint32 timeoutTicks = 15;
    qint32 errorCount = 0;
    qint32 activeConnections = 0;
    qint32 maxConnections = 1;
};

// The HTTP mirror pool of one update run. Event-loop thread only. It only
// shrinks: a retired mirror never comes back. Operations taking a name do
// nothing when no mirror has that name.
class Mirrors : public QObject
{
    Q_OBJECT
public:
    explicit Mirrors(QObject* parent);

    // Reads the "mirrors" array of the INI file at iniPath. Always true; an
    // unreadable file gives an empty pool.
    bool initDefault(const QString& iniPath, int version);
    // The one-mirror pool of the alpha channel from update.ini; false (after
    // fatalError) when the alpha URL is missing.
    bool initAlpha(const QString& updateIniPath, int version);
    void setDefaults(QSettings& settings, int version);

    // 0: a mirror was reserved and copied into out; 1: no mirror left (the
    // message about it is sent once per pool); 2: all busy, out untouched.
    int getRandomMirror(FTPSiteAccessData& out);
    void releaseMirror(const QString& name);
    void addMirrorError(const QString& name);
    void removeMirror(const QString& name);
    int getMirrorIndex(const QString& name) const;
    void calcUseStats(int& slotCount, int& inUse) const;

    // The records in the order read; for inspection.
    const QVector<FTPSiteAccessData>& mirrorList() const { return mirrors; }

signals:
    void fatalError(QString errorMessage);
    void message(QString message);

private:
    QVector<FTPSiteAccessData> mirrors;
    bool noMirrorsReported;
};
