// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "engine/makedownloadreplacelisttaskspecification.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/rollback.h"

#include <QList>
#include <QString>
#include <QStringList>

class Configuration;

// Installs one downloaded file: moves the installed file aside under its
// backup name, writes the new one (copy, or decompression and MD5 check) and
// on success hands its journal to the list's journal, queues the backup for
// deletion and marks executables. On failure or a user cancel with steps left
// it undoes its own changes at once. deleteList, listJournal and configuration
// are not owned and must outlive the task.
class FileReplaceTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileReplaceTaskSpecification(FileReplaceSpecification& spec, QList<QString>* deleteList,
                                 RollbackDataList* listJournal, Configuration* configuration, QObject* parent,
                                 double weight);

    void makeSubtasksAndStart();
    // Read and execute for everyone, write for the owner only, for the
    // client's programs and shared libraries; other files are left alone.
    static void makeSingleFileExecutable(const QString& filePath);

    static const QStringList executableFiles;
    static const QStringList executableSuffixes;

    FileReplaceSpecification spec;
    QList<QString>* deleteList;
    RollbackDataList* listJournal;
    RollbackDataList journal;
    Configuration* configuration;
    bool movedAside;

public slots:
    void execute() override;
    void reset() override;
    void subtasksDone() override;
};
