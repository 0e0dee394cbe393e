// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QObject>
#include <QString>

// Owns and drives one update run.
class UpdateEngine : public QObject
{
    Q_OBJECT
public:
    // Deletes "_old_" + name in `directory` for every special file name: the
    // backups an earlier run could not delete while they were in use. Failures
    // are ignored; nothing else in `directory` is touched.
    static void removeOldFiles(const QString& directory);
};
