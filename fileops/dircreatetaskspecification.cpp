// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/dircreatetaskspecification.h"

#include <QDir>
#include <QFileInfo>

DirCreateTaskSpecification::DirCreateTaskSpecification(const QString& path, RollbackDataList* journal,
                                                       QObject* parent, double weight)
    : FastFileOpTaskSpecification(path, journal, parent, weight)
{
}

bool DirCreateTaskSpecification::doOp()
{
    return tryCreateDir(path);
}

bool DirCreateTaskSpecification::tryCreateDir(const QString& dirPath)
{
    // A trailing "/" would otherwise make the last component empty.
    const QString cleanDirPath = QDir::cleanPath(dirPath);
    const QFileInfo info(cleanDirPath);
    if (info.exists()) {
        if (info.isDir())
            return true;
        emit message(QString("Could not create dir '%1' because it already exists and is not a dir").arg(dirPath));
        return false;
    }

    const QString parentPath = info.path();
    if (parentPath == QLatin1String(".") || QDir(cleanDirPath).isRoot()) {
        emit message(QString("Could not create dir %1").arg(path));
        return false;
    }
    if (!QFileInfo::exists(parentPath) && !tryCreateDir(parentPath))
        return false;

    if (!QDir(parentPath).mkdir(info.fileName())) {
        emit message(QString("unable to create dir %1").arg(dirPath));
        return false;
    }
    addRollbackOp(RollbackData(RollbackData::CreateDir, cleanDirPath));
    return true;
}
