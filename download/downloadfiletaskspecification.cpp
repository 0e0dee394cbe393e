// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/downloadfiletaskspecification.h"

#include "config/configuration.h"
#include "download/checksignaturetaskspecification.h"
#include "download/downloadtaskspecification.h"
#include "download/mirrors.h"

DownloadFileTaskSpecification::DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec,
                                                             QNetworkAccessManager* manager, Mirrors* mirrors,
                                                             Configuration* configuration, QObject* parent,
                                                             double weight)
    : ComposedTaskSpecification(1, weight, parent)
    , fileSpec(fileSpec)
    , manager(manager)
    , mirrors(mirrors)
    , configuration(configuration)
    , downloadTask(nullptr)
    , m_abandoned(false)
{
}

void DownloadFileTaskSpecification::execute()
{
    makeSubtasksAndStart();
}

void DownloadFileTaskSpecification::makeSubtasksAndStart()
{
    const QString remotePath = fileSpec.dir + QLatin1Char('/') + fileSpec.fileName;
    const QString localPath = configuration->m_tempDir + QLatin1Char('/') + fileSpec.fileName;

    downloadTask = new DownloadTaskSpecification(manager, mirrors, remotePath, localPath, fileSpec.size, this, 0.8);
    addSubTask(downloadTask);

    auto* check = new CheckSignatureTaskSpecification(localPath, fileSpec.md5, false, this, 0.2);
    connect(check, SIGNAL(checkDone(bool,CheckSignatureTaskSpecification*)),
            this, SLOT(onSigCheckDone(bool,CheckSignatureTaskSpecification*)));
    addSubTask(check);

    executeSubTasks();
}

void DownloadFileTaskSpecification::onSigCheckDone(bool pass, CheckSignatureTaskSpecification*)
{
    if (pass)
        return;
    emit message(QStringLiteral("md5 sum for %1 failed, invalidating mirror and retrying").arg(fileSpec.fileName));
    mirrors->removeMirror(downloadTask->servingMirror().name);

    const bool userCancel = userCancelRequested;
    const bool abandoned = m_abandoned;
    reset();
    // A cancel that reached us while the sum was computed must not be lost
    // by starting over.
    if (userCancel) {
        userCancelRequested = true;
        TaskSpecification::userCancel();
        return;
    }
    if (abandoned) {
        errorCancel();
        return;
    }
    makeSubtasksAndStart();
}

void DownloadFileTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    m_abandoned = true;
    ComposedTaskSpecification::handleOtherTaskCancelled(other);
}

void DownloadFileTaskSpecification::reset()
{
    clearSubTasks();
    downloadTask = nullptr;
    m_abandoned = false;
    subtaskCanceled = false;
    subtasksDoneCalled = false;
    TaskSpecification::reset();
}
