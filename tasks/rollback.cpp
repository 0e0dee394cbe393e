// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/rollback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>

RollbackData::RollbackData(Operation operation, const QString& oldPath, const QString& path)
    : path(path)
    , oldPath(oldPath)
    , operation(operation)
{
}

RollbackData::RollbackData(Operation operation, const QString& path)
    : path(path)
    , operation(operation)
{
}

void RollbackData::message(QObject* reporter, QString text)
{
    if (!reporter)
        return;
    QMetaObject::invokeMethod(reporter, "message", Qt::AutoConnection, Q_ARG(QString, text));
}

bool RollbackData::rollback(QObject* reporter)
{
    switch (operation) {
    case Rename:
        if (!QFile::rename(path, oldPath)) {
            message(reporter, QString("warning: rollback rename %1 to %2 failed").arg(oldPath, path));
            return false;
        }
        return true;
    case CreateFile:
        if (!QFile::remove(path)) {
            message(reporter, QString("warning: rollback create file %1 failed").arg(path));
            return false;
        }
        return true;
    case CreateDir: {
        const QFileInfo info(QDir::cleanPath(path));
        if (!info.dir().rmdir(info.fileName())) {
            message(reporter, QString("warning: rollback create dir %1 failed").arg(path));
            return false;
        }
        return true;
    }
    }
    qFatal("Should not reach here");
    return false;
}

void RollbackDataList::add(const RollbackData& entry)
{
    entries.append(entry);
}

void RollbackDataList::appendList(const RollbackDataList& other)
{
    entries.append(other.entries);
}

void RollbackDataList::clear()
{
    entries.clear();
}

bool RollbackDataList::rollback(QObject* reporter)
{
    bool result = true;
    while (!entries.isEmpty()) {
        RollbackData entry = entries.takeLast();
        if (!entry.rollback(reporter))
            result = false;
    }
    return result;
}
