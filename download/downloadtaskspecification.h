// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "download/mirrors.h"
#include "tasks/taskspecification.h"

#include <QFile>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// Fetches one file by HTTP GET from a mirror of the pool into a local file.
// Every failure is reported, charged to (or retires) the mirror, deletes the
// partial file and starts over on another mirror; the task gives up only when
// the pool is empty, the file cannot be created or no request can be made.
// The content is not checked here. Event-loop thread only; manager and
// mirrors are shared and outlive the task.
class DownloadTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    // remotePath is below the mirror's base URL, without a leading "/";
    // expectedSize -1 when unknown. A body longer than a known size is a
    // failure of the mirror that sent it.
    DownloadTaskSpecification(QNetworkAccessManager* manager, Mirrors* mirrors,
                              const QString& remotePath, const QString& localPath,
                              qint64 expectedSize, QObject* parent, double weight);
    ~DownloadTaskSpecification() override;

    // The mirror of the current or last attempt; after finished, the one that
    // served the file.
    const FTPSiteAccessData& servingMirror() const { return mirror; }
    QString localPath() const { return file.fileName(); }

public slots:
    void execute() override;
    void reset() override;
    void timeTick(quint64& done, quint64& total, quint64& delta, bool& active) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    // Success step after the whole body was written and the file closed.
    virtual void downloadFinished();

private slots:
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onReadyRead();
    void onDownloadFinished();
    void onMetaDataChanged();
    void onOtherDownloadFinished(QNetworkReply* other);

private:
    void startDownload();
    bool readData();
    void errorRetry(const QString& reason);
    void resetDownload();
    QString currentUrl() const;

    QNetworkAccessManager* manager;
    Mirrors* mirrors;
    QNetworkReply* reply;
    qint32 idleTicks;
    QString remotePath;
    QFile file;
    qint64 bytesAtLastTick;
    qint64 expectedSize;
    qint64 initialExpectedSize;
    qint64 bytesWritten;
    FTPSiteAccessData mirror;
};
