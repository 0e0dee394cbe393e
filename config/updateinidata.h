// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QString>

// The session record (section "current") of update.ini. Every call opens the
// file afresh; main thread only.
class UpdateIniData
{
public:
    // Absolute path of update.ini in the installation directory.
    static QString filename();
    // True when the record is valid (integer version, non-empty type and dir,
    // dir exists); then every non-null output gets its value. Otherwise nothing
    // is touched.
    static bool get(int* version, QString* type, QString* dir);
    // Note the order: dir before type.
    static void modify(int version, const QString& dir, const QString& type);
    static void cleanup();
};
