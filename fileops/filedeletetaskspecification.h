// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "fileops/fastfileoptaskspecification.h"

// Deletes the file at path. Never journalled: a deletion cannot be undone.
// With failIfNotDeleted false the task always finishes and reports nothing.
class FileDeleteTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    FileDeleteTaskSpecification(bool failIfNotDeleted, const QString& path, QObject* parent, double weight);

    bool failIfNotDeleted;

protected:
    bool doOp() override;
};
