// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filereplacetaskspecification.h"

#include "config/configuration.h"
#include "download/checksignaturetaskspecification.h"
#include "fileops/filecopytaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/filerenametaskspecification.h"
#include "fileops/fileunziptaskspecification.h"

#include <QFile>
#include <QFileInfo>

const QStringList FileReplaceTaskSpecification::executableFiles {
    "cvxclient_linux_x86", "cvxclient_linux_amd64", "cvxclient_runscript.sh", "update", "crash_notice",
    "plugin_setup"
};
const QStringList FileReplaceTaskSpecification::executableSuffixes { "so", "so.4" };

FileReplaceTaskSpecification::FileReplaceTaskSpecification(FileReplaceSpecification& spec,
                                                           QList<QString>* deleteList,
                                                           RollbackDataList* listJournal,
                                                           Configuration* configuration, QObject* parent,
                                                           double weight)
    : ComposedTaskSpecification(1, weight, parent)
    , spec(spec)
    , deleteList(deleteList)
    , listJournal(listJournal)
    , configuration(configuration)
    , movedAside(false)
{
}

void FileReplaceTaskSpecification::execute()
{
    emit message(QString("add/replace %1").arg(spec.fileName));
    makeSubtasksAndStart();
}

void FileReplaceTaskSpecification::makeSubtasksAndStart()
{
    const QString root = Configuration::getAppRootPath();
    const QString source = configuration->m_tempDir + "/" + spec.fileName;
    const QString target = root + "/" + spec.destFileName(QString());
    const QString backup = root + "/" + spec.oldDestFileName();
    // The decompressed file is checked against the sum of the uncompressed content.
    const QString& unpackedMd5 = spec.md5;

    double remaining = 1.0;
    if (QFileInfo::exists(target)) {
        if (QFileInfo::exists(backup)) {
            addSubTask(new FileDeleteTaskSpecification(true, backup, this, 0.1));
            remaining = 0.9;
        }
        movedAside = true;
        addSubTask(new FileRenameTaskSpecification(target, backup, &journal, this, 0.1));
        remaining -= 0.1;
    }
    if (spec.hasUnzip()) {
        addSubTask(new FileUnzipTaskSpecification(&journal, source, target, this, remaining - 0.2));
        addSubTask(new CheckSignatureTaskSpecification(target, unpackedMd5, true, this, 0.2));
    } else {
        addSubTask(new FileCopyTaskSpecification(&journal, source, target, this, remaining));
    }
    executeSubTasks();
}

void FileReplaceTaskSpecification::subtasksDone()
{
    if (getStateFromSubTasks() == Finished) {
        listJournal->appendList(journal);
        const QString root = Configuration::getAppRootPath();
        if (movedAside && !configuration->isSpecialFileName(QFileInfo(spec.pureDestFilePath()).fileName()))
            deleteList->append(spec.oldDestFileName());
        makeSingleFileExecutable(root + "/" + spec.destFileName(QString()));
    } else {
        journal.rollback(this);
    }
    ComposedTaskSpecification::subtasksDone();
}

void FileReplaceTaskSpecification::reset()
{
    clearSubTasks();
    journal.rollback(this);
    movedAside = false;
    TaskSpecification::reset();
}

void FileReplaceTaskSpecification::makeSingleFileExecutable(const QString& filePath)
{
    const QFileInfo info(filePath);
    if (!executableFiles.contains(info.fileName()) && !executableSuffixes.contains(info.completeSuffix()))
        return;
    // Never world-writable: any local user could then replace the client's
    // programs and libraries.
    QFile::setPermissions(filePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                        | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                        | QFileDevice::ReadOther | QFileDevice::ExeOther);
}
