// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/filecopytaskspecification.h"

#include <QFile>

FileCopyTaskSpecification::FileCopyTaskSpecification(RollbackDataList* journal, const QString& source,
                                                     const QString& destination, QObject* parent, double weight)
    : SlowFileOpSpecification(QString("Could not copy '%1' to '%2'").arg(source, destination), journal, source,
                              destination, parent, weight)
{
}

ASyncFunc* FileCopyTaskSpecification::createFunction()
{
    return new FileCopyFunc(source, destination);
}

FileCopyFunc::FileCopyFunc(const QString& source, const QString& destination)
    : SlowFileOpFunc(source, destination)
{
}

bool FileCopyFunc::run()
{
    // QFile::copy streams through a temporary file beside the destination and
    // removes it on failure, so a failed copy leaves nothing behind.
    return QFile::copy(source, destination);
}
