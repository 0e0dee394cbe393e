// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/downloadfilelisttaskspecification.h"

#include "config/configuration.h"
#include "download/downloadfiletaskspecification.h"

#include <QDir>
#include <QSet>

DownloadFileListTaskSpecification::DownloadFileListTaskSpecification(QList<FileDownloadSpecification>* fileList,
                                                                     QNetworkAccessManager* manager,
                                                                     Mirrors* mirrors,
                                                                     Configuration* configuration,
                                                                     QObject* parent, double weight)
    // A concurrency of 0 (settings not read yet) would start nothing and never end.
    : ComposedTaskSpecification(qMax(1, configuration->m_downloadStreams), weight, parent)
    , fileList(fileList)
    , manager(manager)
    , mirrors(mirrors)
    , configuration(configuration)
    , totalBytes(0)
{
}

void DownloadFileListTaskSpecification::execute()
{
    makeSubtasksAndStart();
}

void DownloadFileListTaskSpecification::makeSubtasksAndStart()
{
    if (fileList->isEmpty()) {
        emit message(QStringLiteral("No downloads needed"));
        finish();
        return;
    }
    if (!makeSubDirs())
        return;
    emit message(QStringLiteral("Downloading files"));

    const double weight = 1.0 / fileList->size();
    for (const FileDownloadSpecification& entry : std::as_const(*fileList)) {
        addSubTask(new DownloadFileTaskSpecification(entry, manager, mirrors, configuration, this, weight));
        totalBytes += entry.size;
    }
    executeSubTasks();
}

bool DownloadFileListTaskSpecification::makeSubDirs()
{
    const QDir tempDir(configuration->m_tempDir);
    QSet<QString> handled;
    handled.insert(QStringLiteral("."));
    for (const FileDownloadSpecification& entry : std::as_const(*fileList)) {
        const int slash = entry.fileName.lastIndexOf(QLatin1Char('/'));
        const QString dirPart = slash < 0 ? QStringLiteral(".") : entry.fileName.left(slash);
        if (handled.contains(dirPart))
            continue;
        if (!tempDir.mkpath(dirPart)) {
            emit message(QStringLiteral("Could not create dir %1").arg(tempDir.canonicalPath() + QLatin1Char('/') + dirPart));
            errorCancel();
            return false;
        }
        handled.insert(dirPart);
    }
    return true;
}

void DownloadFileListTaskSpecification::timeTick(quint64& done, quint64& total, quint64& delta, bool& active)
{
    ComposedTaskSpecification::timeTick(done, total, delta, active);
    total = quint64(totalBytes);
}

void DownloadFileListTaskSpecification::reset()
{
    clearSubTasks();
    totalBytes = 0;
    // A full reset: the next run must not inherit this run's cancel.
    subtaskCanceled = false;
    subtasksDoneCalled = false;
    TaskSpecification::reset();
}
