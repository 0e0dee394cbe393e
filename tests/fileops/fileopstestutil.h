// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

// Small helpers shared by the file operation tests: a signal log, a task
// runner, file fixtures and a size-limited scratch file system.

#include "tasks/rollback.h"
#include "tasks/taskspecification.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

#include <zlib.h>

namespace fileopstest {

// Records "name:signal" (and "name:message:text") for every watched task, in
// the order the signals were emitted.
class SignalLog : public QObject
{
public:
    void watch(TaskSpecification* task, const QString& name)
    {
        connect(task, &TaskSpecification::finished, this, [this, name]() { entries << name + ":finished"; });
        connect(task, &TaskSpecification::canceled, this, [this, name]() { entries << name + ":canceled"; });
        connect(task, &TaskSpecification::message, this,
                [this, name](const QString& text) { entries << name + ":message:" + text; });
        connect(task, &TaskSpecification::error, this,
                [this, name](const QString& text) { entries << name + ":error:" + text; });
    }
    QStringList messages() const
    {
        QStringList out;
        for (const QString& e : entries) {
            const int at = e.indexOf(":message:");
            if (at >= 0)
                out << e.mid(at + 9);
        }
        return out;
    }
    QStringList entries;
};

inline bool ended(const TaskSpecification* task)
{
    return task->state == Finished || task->state == ErrorCanceled || task->state == UserCanceled;
}

// Executes task and spins the event loop until it has ended (10 s at most).
inline bool runTask(TaskSpecification* task)
{
    task->execute();
    return QTest::qWaitFor([task]() { return ended(task); }, 10000);
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(data) == data.size();
}

// Data that does not compress, so its gzip form is about as large as itself.
inline QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(gen.generate() & 0xff);
    return data;
}

inline QByteArray gzipped(const QByteArray& plain)
{
    z_stream zs = {};
    deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&zs, uLong(plain.size()))) + 32, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.constData()));
    zs.avail_in = uInt(plain.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(int(zs.total_out));
    deflateEnd(&zs);
    return out;
}

// Every entry below root, relative and sorted; directories end in "/".
inline QStringList tree(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        QString rel = QDir(root).relativeFilePath(info.filePath());
        if (info.isDir() && !info.isSymLink())
            rel += "/";
        out << rel;
    }
    out.sort();
    return out;
}

// A tmpfs of a few kilobytes mounted on a fresh directory, for disk-full
// faults. mounted() is false where mounting is not allowed.
class SmallFileSystem
{
public:
    SmallFileSystem(const QString& mountPoint, int kiloBytes)
        : m_path(mountPoint)
    {
        QDir().mkpath(m_path);
        QProcess mount;
        mount.start("mount", { "-t", "tmpfs", "-o", QString("size=%1k").arg(kiloBytes), "tmpfs", m_path });
        m_mounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit
                    && mount.exitCode() == 0;
        if (!m_mounted)
            m_reason = QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~SmallFileSystem()
    {
        if (m_mounted) {
            QProcess umount;
            umount.start("umount", { m_path });
            umount.waitForFinished(10000);
        }
    }
    bool mounted() const { return m_mounted; }
    QString reason() const { return m_reason; }
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_reason;
    bool m_mounted = false;
};

inline QStringList journalText(const RollbackDataList& journal, const QString& root)
{
    QStringList out;
    for (const RollbackData& e : journal.entries) {
        const QString p = QDir(root).relativeFilePath(e.path);
        switch (e.operation) {
        case RollbackData::Rename:
            out << "Rename " + QDir(root).relativeFilePath(e.oldPath) + " -> " + p;
            break;
        case RollbackData::CreateFile:
            out << "CreateFile " + p;
            break;
        case RollbackData::CreateDir:
            out << "CreateDir " + p;
            break;
        }
    }
    return out;
}

} // namespace fileopstest
