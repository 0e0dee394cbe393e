// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/slowfileoptaskspecification.h"

SlowFileOpSpecification::SlowFileOpSpecification(QString failMessage, RollbackDataList* journal,
                                                 const QString& source, const QString& destination,
                                                 QObject* parent, double weight)
    : ASyncTaskSpecification(parent, weight)
    , journal(journal)
    , source(source)
    , destination(destination)
    , failMessage(failMessage)
{
}

void SlowFileOpSpecification::runDone(bool ok)
{
    // A result left over from before a reset belongs to no run: journalling it
    // would let a later rollback delete whatever then carries that name.
    if (state != Running)
        return;
    if (!ok)
        emit message(failMessage);
    else if (journal)
        journal->add(RollbackData(RollbackData::CreateFile, destination));
    ASyncTaskSpecification::runDone(ok);
}

SlowFileOpFunc::SlowFileOpFunc(const QString& source, const QString& destination)
    : source(source)
    , destination(destination)
{
}
