// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "fileops/fastfileoptaskspecification.h"

// Creates path with any missing parents; every level created is journalled as
// CreateDir, outermost first, also when a deeper level then fails.
class DirCreateTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    DirCreateTaskSpecification(const QString& path, RollbackDataList* journal, QObject* parent, double weight);

    bool tryCreateDir(const QString& dirPath);

protected:
    bool doOp() override;
};
