// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filedeletelisttaskspecification.h"

#include "config/configuration.h"
#include "fileops/filedeletetaskspecification.h"

FileDeleteListTaskSpecification::FileDeleteListTaskSpecification(QList<QString>* fileNames, QObject* parent,
                                                                 double weight)
    : ComposedTaskSpecification(1, weight, parent)
    , fileNames(fileNames)
{
}

void FileDeleteListTaskSpecification::execute()
{
    emit message("Starting deleting files");
    makeSubtasksAndStart();
}

void FileDeleteListTaskSpecification::makeSubtasksAndStart()
{
    const QString root = Configuration::getAppRootPath();
    for (const QString& name : *fileNames)
        addSubTask(new FileDeleteTaskSpecification(false, root + "/" + name, this, 1.0 / fileNames->size()));
    executeSubTasks();
}

void FileDeleteListTaskSpecification::reset()
{
    clearSubTasks();
    TaskSpecification::reset();
}
