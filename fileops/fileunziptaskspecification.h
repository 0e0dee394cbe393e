// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/slowfileoptaskspecification.h"

// Decompresses the gzip file source to destination on the pool. Data that is
// not gzip is passed through unchanged. On any failure destination is deleted.
// The journal is not owned; on success it gains CreateFile for destination.
class FileUnzipTaskSpecification : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    FileUnzipTaskSpecification(RollbackDataList* journal, const QString& source, const QString& destination,
                               QObject* parent, double weight);

public slots:
    ASyncFunc* createFunction() override;
};

class FileUnzipFunc : public SlowFileOpFunc
{
    Q_OBJECT
public:
    FileUnzipFunc(const QString& source, const QString& destination);

    // Streams gzPath into outPath (created or truncated) through one fixed
    // buffer; on a read, format or write failure the output is removed.
    bool unzipFile(const QString& outPath, const QString& gzPath);

public slots:
    // Worker thread.
    bool run() override;
};
