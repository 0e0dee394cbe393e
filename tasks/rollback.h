// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QList>
#include <QString>

class QObject;

// One journalled file-system change and how to undo it. A plain value.
class RollbackData
{
public:
    enum Operation {
        Rename = 0,
        CreateFile = 1,
        CreateDir = 2
    };

    // For Rename: the old name first, the new name second.
    RollbackData(Operation operation, const QString& oldPath, const QString& path);
    RollbackData(Operation operation, const QString& path);

    // Undoes this entry; failures are reported as a warning line through the
    // reporter's message(QString) (nothing if reporter is null).
    bool rollback(QObject* reporter);
    static void message(QObject* reporter, QString text);

    QString path;
    QString oldPath;
    Operation operation;
};

// The journal, undone newest first. Used on the event-loop thread only.
class RollbackDataList
{
public:
    void add(const RollbackData& entry);
    // Copies other's entries after ours; other is unchanged.
    void appendList(const RollbackDataList& other);
    void clear();
    // Undoes and removes every entry, newest first, never stopping early.
    // True only if every undo succeeded.
    bool rollback(QObject* reporter);

    QList<RollbackData> entries;
};
