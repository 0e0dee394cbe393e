// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/asynctaskspecification.h"
#include "tasks/rollback.h"

// A file operation from source to destination on the pool. On success the
// destination is journalled as CreateFile (if a journal is given); on failure
// failMessage is emitted before the task cancels. A result arriving when the task
// is no longer Running is ignored entirely. The journal is not owned.
class SlowFileOpSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    SlowFileOpSpecification(QString failMessage, RollbackDataList* journal, const QString& source,
                            const QString& destination, QObject* parent, double weight);

    RollbackDataList* journal;
    QString source;
    QString destination;
    QString failMessage;

public slots:
    void runDone(bool ok) override;
};

class SlowFileOpFunc : public ASyncFunc
{
    Q_OBJECT
public:
    SlowFileOpFunc(const QString& source, const QString& destination);

    QString source;
    QString destination;
};
