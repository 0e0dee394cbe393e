// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/downloadtaskspecification.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
const qint64 ChunkSize = 4096;
}

DownloadTaskSpecification::DownloadTaskSpecification(QNetworkAccessManager* manager, Mirrors* mirrors,
                                                     const QString& remotePath, const QString& localPath,
                                                     qint64 expectedSize, QObject* parent, double weight)
    : TaskSpecification(parent, weight)
    , manager(manager)
    , mirrors(mirrors)
    , reply(nullptr)
    , idleTicks(0)
    , remotePath(remotePath)
    , file(localPath)
    , bytesAtLastTick(0)
    , expectedSize(expectedSize)
    , initialExpectedSize(expectedSize)
    , bytesWritten(0)
{
}

DownloadTaskSpecification::~DownloadTaskSpecification()
{
    if (reply) {
        reply->disconnect(this);
        reply->deleteLater();
    }
}

QString DownloadTaskSpecification::currentUrl() const
{
    return mirror.url + QLatin1Char('/') + remotePath;
}

void DownloadTaskSpecification::execute()
{
    emit message(QStringLiteral("Downloading %1").arg(remotePath));
    state = Running;
    startDownload();
}

void DownloadTaskSpecification::startDownload()
{
    const int result = mirrors->getRandomMirror(mirror);
    if (result == 1) {
        errorCancel();
        return;
    }
    if (result == 2) {
        connect(manager, SIGNAL(finished(QNetworkReply*)), this, SLOT(onOtherDownloadFinished(QNetworkReply*)),
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        return;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        emit error(QStringLiteral("Unable to create file %1 for saving").arg(file.fileName()));
        mirrors->releaseMirror(mirror.name);
        errorCancel();
        return;
    }
    QNetworkRequest request{QUrl(currentUrl())};
    // Qt would otherwise follow a 3xx itself; a redirect is a mirror failure.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    reply = manager->get(request);
    if (!reply) {
        emit error(QStringLiteral("Download failed to initialize"));
        mirrors->releaseMirror(mirror.name);
        errorCancel();
        return;
    }
    if (!reply->isRunning()) {
        errorRetry(reply->errorString());
        return;
    }
    connect(reply, SIGNAL(downloadProgress(qint64,qint64)), this, SLOT(onDownloadProgress(qint64,qint64)));
    connect(reply, SIGNAL(readyRead()), this, SLOT(onReadyRead()));
    connect(reply, SIGNAL(finished()), this, SLOT(onDownloadFinished()));
    connect(reply, SIGNAL(metaDataChanged()), this, SLOT(onMetaDataChanged()));
}

void DownloadTaskSpecification::onOtherDownloadFinished(QNetworkReply*)
{
    disconnect(manager, nullptr, this, nullptr);
    if (!reply && state == Running)
        startDownload();
}

void DownloadTaskSpecification::onMetaDataChanged()
{
    if (!reply)
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    if (code == 200)
        return;
    mirrors->removeMirror(mirror.name);
    errorRetry(QStringLiteral("%1 returned %2").arg(currentUrl()).arg(code));
}

void DownloadTaskSpecification::onDownloadProgress(qint64, qint64 bytesTotal)
{
    if (bytesTotal > 0 && expectedSize == -1)
        expectedSize = bytesTotal;
}

void DownloadTaskSpecification::onReadyRead()
{
    readData();
}

bool DownloadTaskSpecification::readData()
{
    char buffer[ChunkSize];
    for (;;) {
        if (!reply)
            return true;
        idleTicks = 0;
        const qint64 available = reply->bytesAvailable();
        if (available <= 0)
            return true;
        const qint64 count = reply->read(buffer, qMin(available, ChunkSize));
        if (count < 0) {
            errorRetry(reply->errorString());
            return false;
        }
        if (count == 0)
            return true;
        const qint64 written = file.write(buffer, count);
        if (written < 0) {
            errorRetry(file.errorString());
            return false;
        }
        if (written != count) {
            errorRetry(QStringLiteral("Error writing to file %1. Should write %2 bytes but wrote %3 bytes")
                           .arg(file.fileName())
                           .arg(count)
                           .arg(written));
            return false;
        }
        bytesWritten += written;
        if (expectedSize > 0) {
            // A broken or hostile mirror must not be able to fill the disk.
            if (bytesWritten > expectedSize) {
                errorRetry(QStringLiteral("%1 sent more than %2 bytes").arg(currentUrl()).arg(expectedSize));
                return false;
            }
            setProgress(qMin(1.0, double(bytesWritten) / double(expectedSize)));
        }
    }
}

void DownloadTaskSpecification::onDownloadFinished()
{
    if (!reply)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        if (reply->error() == QNetworkReply::AuthenticationRequiredError) {
            mirrors->removeMirror(mirror.name);
            reply->close();
        }
        errorRetry(reply->errorString());
        return;
    }
    if (!readData())
        return;
    reply->close();
    reply->disconnect(this);
    reply->deleteLater();
    reply = nullptr;
    file.close();
    downloadFinished();
}

void DownloadTaskSpecification::downloadFinished()
{
    emit message(QStringLiteral("Downloading %1 finished").arg(remotePath));
    mirrors->releaseMirror(mirror.name);
    finish();
}

void DownloadTaskSpecification::errorRetry(const QString& reason)
{
    mirrors->addMirrorError(mirror.name);
    resetDownload();
    emit message(reason);
    startDownload();
}

void DownloadTaskSpecification::resetDownload()
{
    mirrors->releaseMirror(mirror.name);
    mirror.name.clear();
    // A waiting task must not wake up again after it was stopped.
    disconnect(manager, SIGNAL(finished(QNetworkReply*)), this, SLOT(onOtherDownloadFinished(QNetworkReply*)));
    if (reply) {
        reply->disconnect(this);
        reply->deleteLater();
        reply = nullptr;
    }
    idleTicks = 0;
    if (file.isOpen()) {
        file.close();
        file.remove();
    }
    bytesAtLastTick = 0;
    expectedSize = initialExpectedSize;
    bytesWritten = 0;
    setProgress(0.0);
}

void DownloadTaskSpecification::timeTick(quint64& done, quint64& total, quint64& delta, bool& active)
{
    done = quint64(bytesWritten);
    total = expectedSize < 0 ? 0 : quint64(expectedSize);
    delta = quint64(bytesWritten - bytesAtLastTick);
    bytesAtLastTick = bytesWritten;
    if (state != Running || !reply)
        return;
    ++idleTicks;
    if (idleTicks <= mirror.timeoutTicks) {
        active = true;
        return;
    }
    errorRetry(QStringLiteral("file %1 timed out on mirror %2").arg(remotePath).arg(mirror.name));
}

void DownloadTaskSpecification::userCanceled()
{
    TaskSpecification::userCanceled();
    if (state == Running) {
        resetDownload();
        userCancel();
    }
}

void DownloadTaskSpecification::handleOtherTaskCancelled(TaskSpecification*)
{
    if (reply) {
        emit message(QStringLiteral("Abort downloading %1").arg(remotePath));
        resetDownload();
    } else {
        disconnect(manager, SIGNAL(finished(QNetworkReply*)), this,
                   SLOT(onOtherDownloadFinished(QNetworkReply*)));
    }
    errorCancel();
}

void DownloadTaskSpecification::reset()
{
    resetDownload();
    TaskSpecification::reset();
}
