// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/fastfileoptaskspecification.h"

FastFileOpTaskSpecification::FastFileOpTaskSpecification(const QString& path, RollbackDataList* journal,
                                                         QObject* parent, double weight)
    : TaskSpecification(parent, weight)
    , journal(journal)
    , path(path)
{
}

void FastFileOpTaskSpecification::addRollbackOp(RollbackData entry)
{
    if (journal)
        journal->add(entry);
}

void FastFileOpTaskSpecification::execute()
{
    state = Running;
    if (doOp())
        finish();
    else
        errorCancel();
}
