// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filereplacelisttaskspecification.h"

#include "config/configuration.h"
#include "fileops/dircreatetaskspecification.h"
#include "fileops/filereplacetaskspecification.h"

#include <QFileInfo>
#include <QSet>
#include <QStringList>

FileReplaceListTaskSpecification::FileReplaceListTaskSpecification(QList<FileReplaceSpecification>* replaceList,
                                                                   QList<QString>* deleteList,
                                                                   Configuration* configuration,
                                                                   QObject* parent, double weight)
    : ComposedTaskSpecification(2, weight, parent)
    , replaceList(replaceList)
    , deleteList(deleteList)
    , configuration(configuration)
{
}

void FileReplaceListTaskSpecification::execute()
{
    emit message("Starting file updates");
    makeSubtasksAndStart();
}

void FileReplaceListTaskSpecification::makeSubtasksAndStart()
{
    makeFileReplaceTasks(makeSubdirTasks() > 0);
    executeSubTasks();
}

int FileReplaceListTaskSpecification::makeSubdirTasks()
{
    const QString root = Configuration::getAppRootPath();
    QSet<QString> seen;
    QStringList missing;
    for (const FileReplaceSpecification& entry : *replaceList) {
        const QString dir = QFileInfo(root + "/" + entry.destFileName(QString())).path();
        if (seen.contains(dir))
            continue;
        seen.insert(dir);
        if (!QFileInfo::exists(dir))
            missing.append(dir);
    }
    // Character code order puts a directory before its subdirectories.
    missing.sort(Qt::CaseSensitive);
    for (const QString& dir : missing)
        addSubTask(new DirCreateTaskSpecification(dir, &journal, this, 0.1 / missing.size()));
    return missing.size();
}

void FileReplaceListTaskSpecification::makeFileReplaceTasks(bool haveSubdirTasks)
{
    if (replaceList->isEmpty())
        return;
    const double weight = (haveSubdirTasks ? 0.9 : 1.0) / replaceList->size();
    for (FileReplaceSpecification& entry : *replaceList)
        addSubTask(new FileReplaceTaskSpecification(entry, deleteList, &journal, configuration, this, weight));
}

void FileReplaceListTaskSpecification::subtasksDone()
{
    if (getStateFromSubTasks() != Finished) {
        emit message("rolling back file updates");
        journal.rollback(this);
    }
    ComposedTaskSpecification::subtasksDone();
}

void FileReplaceListTaskSpecification::reset()
{
    clearSubTasks();
    journal.rollback(this);
    TaskSpecification::reset();
}
