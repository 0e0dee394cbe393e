// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filerenametaskspecification.h"

#include <QFile>

FileRenameTaskSpecification::FileRenameTaskSpecification(const QString& from, const QString& to,
                                                         RollbackDataList* journal, QObject* parent,
                                                         double weight)
    : FastFileOpTaskSpecification(to, journal, parent, weight)
    , from(from)
{
}

bool FileRenameTaskSpecification::doOp()
{
    // QFile::rename refuses an existing target, so nothing is overwritten.
    if (!QFile::rename(from, path)) {
        emit message(QString("Could not rename '%1' to '%2'").arg(from, path));
        return false;
    }
    addRollbackOp(RollbackData(RollbackData::Rename, from, path));
    return true;
}
