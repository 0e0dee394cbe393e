// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filedeletetaskspecification.h"

#include <QFile>

FileDeleteTaskSpecification::FileDeleteTaskSpecification(bool failIfNotDeleted, const QString& path,
                                                         QObject* parent, double weight)
    : FastFileOpTaskSpecification(path, nullptr, parent, weight)
    , failIfNotDeleted(failIfNotDeleted)
{
}

bool FileDeleteTaskSpecification::doOp()
{
    const bool deleted = QFile::remove(path);
    if (!failIfNotDeleted)
        return true;
    if (!deleted) {
        emit message(QString("Could not delete '%1'").arg(path));
        return false;
    }
    return true;
}
