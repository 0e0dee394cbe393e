// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "engine/makedownloadreplacelisttaskspecification.h"
#include "tasks/composedtaskspecification.h"

class CheckSignatureTaskSpecification;
class Configuration;
class DownloadTaskSpecification;
class Mirrors;
class QNetworkAccessManager;

// Fetches one list entry into the temporary directory and checks its MD5 sum
// (transfer 0.8, check 0.2 of the progress). A wrong sum retires the mirror
// that served the file and starts over with a fresh transfer and check, so
// the attempts end only when the file is right or the pool is empty.
// Event-loop thread only; manager, mirrors and configuration outlive the task.
class DownloadFileTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec, QNetworkAccessManager* manager,
                                  Mirrors* mirrors, Configuration* configuration, QObject* parent, double weight);

public slots:
    void execute() override;
    // Drops the subtasks; the next execute() makes fresh ones.
    void reset() override;
    // Remembers that the run is being abandoned, so a failed sum that arrives
    // afterwards does not start a new transfer.
    void handleOtherTaskCancelled(TaskSpecification* other) override;

private slots:
    void onSigCheckDone(bool pass, CheckSignatureTaskSpecification* task);

private:
    void makeSubtasksAndStart();

    FileDownloadSpecification fileSpec;
    QNetworkAccessManager* manager;
    Mirrors* mirrors;
    Configuration* configuration;
    DownloadTaskSpecification* downloadTask;
    bool m_abandoned;
};
