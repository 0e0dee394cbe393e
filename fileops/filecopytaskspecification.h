// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/slowfileoptaskspecification.h"

// Copies source to destination on the pool; fails if destination exists.
// The journal is not owned; on success it gains CreateFile for destination.
class FileCopyTaskSpecification : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    FileCopyTaskSpecification(RollbackDataList* journal, const QString& source, const QString& destination,
                              QObject* parent, double weight);

public slots:
    ASyncFunc* createFunction() override;
};

class FileCopyFunc : public SlowFileOpFunc
{
    Q_OBJECT
public:
    FileCopyFunc(const QString& source, const QString& destination);

public slots:
    // Worker thread.
    bool run() override;
};
