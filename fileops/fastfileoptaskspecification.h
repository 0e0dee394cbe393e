// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/rollback.h"
#include "tasks/taskspecification.h"

// A quick file-system step run synchronously on the event-loop thread: the task
// has ended (and its parent has reacted) when execute() returns. The journal is
// not owned; null means nothing is recorded.
class FastFileOpTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    FastFileOpTaskSpecification(const QString& path, RollbackDataList* journal, QObject* parent, double weight);

    // Appends entry to the journal if there is one.
    void addRollbackOp(RollbackData entry);

    RollbackDataList* journal;
    QString path;

public slots:
    void execute() override;

protected:
    // Performs the operation; on failure emits the reason and returns false.
    virtual bool doOp() = 0;
};
