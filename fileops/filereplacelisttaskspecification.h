// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "engine/makedownloadreplacelisttaskspecification.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/rollback.h"

#include <QList>
#include <QString>

class Configuration;

// Installs every entry of the replace list: first the missing destination
// directories, then the files, two at a time, under one journal. Unless every
// step finished it logs "rolling back file updates" and undoes the journal, so
// the installation ends as it was before the list started. The lists and the
// configuration are not owned.
class FileReplaceListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileReplaceListTaskSpecification(QList<FileReplaceSpecification>* replaceList, QList<QString>* deleteList,
                                     Configuration* configuration, QObject* parent, double weight);

    void makeSubtasksAndStart();
    // Returns the number of directory subtasks added.
    int makeSubdirTasks();
    void makeFileReplaceTasks(bool haveSubdirTasks);

    QList<FileReplaceSpecification>* replaceList;
    QList<QString>* deleteList;
    RollbackDataList journal;
    Configuration* configuration;

public slots:
    void execute() override;
    void reset() override;
    void subtasksDone() override;
};
