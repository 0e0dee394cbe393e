// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "fileops/fastfileoptaskspecification.h"

// Renames from to path; never overwrites an existing path. Journalled as Rename.
class FileRenameTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    FileRenameTaskSpecification(const QString& from, const QString& to, RollbackDataList* journal,
                                QObject* parent, double weight);

    QString from;

protected:
    bool doOp() override;
};
