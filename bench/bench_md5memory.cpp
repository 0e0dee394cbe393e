// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
//
// Peak memory of the MD5 file check on a large file, against reading the same
// file whole and hashing it in one pass, in the same run.
//
//   bench_md5memory [size in MiB, default 1024] [directory, default the system temp dir]
//
// The file is sparse, so it costs no disk space. Peak resident memory is read
// from /proc/self/status (VmHWM) and reset between the two runs through
// /proc/self/clear_refs.
#include "download/checksignaturetaskspecification.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {
qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

qint64 rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 mib = args.size() > 1 ? args.at(1).toLongLong() : 1024;
    QTemporaryDir dir(args.size() > 2 ? args.at(2) + QStringLiteral("/md5bench-XXXXXX") : QString());
    QTextStream out(stdout);
    if (mib <= 0 || !dir.isValid()) {
        out << "usage: bench_md5memory [MiB] [directory]\n";
        return 2;
    }
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(mib * 1024 * 1024)) {
            out << "cannot create " << path << "\n";
            return 1;
        }
    }

    // The sum of mib MiB of zero bytes, so the check also gives its verdict.
    QCryptographicHash zeros(QCryptographicHash::Md5);
    const QByteArray block(1024 * 1024, '\0');
    for (qint64 i = 0; i < mib; ++i)
        zeros.addData(block);
    const QString sum = QString::fromLatin1(zeros.result().toHex());

    if (!resetPeak()) {
        out << "cannot reset the peak memory figure\n";
        return 1;
    }
    const qint64 before = rssKiB();
    QElapsedTimer timer;
    timer.start();
    const bool pass = CheckSigFunc(path, sum.toUpper()).run();
    const qint64 streamedMs = timer.elapsed();
    const qint64 streamed = peakKiB() - before;

    resetPeak();
    const qint64 beforeWhole = rssKiB();
    timer.restart();
    QString wholeSum;
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray data = file.readAll();
        wholeSum = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
    }
    const qint64 wholeMs = timer.elapsed();
    const qint64 whole = peakKiB() - beforeWhole;

    out << "file size:                " << mib * 1024 << " KiB\n";
    out << "streamed check verdict:   " << (pass ? "pass" : "FAIL") << ", whole-read sum "
        << (wholeSum == sum ? "matches" : "DIFFERS") << "\n";
    out << "peak growth, streamed:    " << streamed << " KiB (" << streamedMs << " ms)\n";
    out << "peak growth, whole read:  " << whole << " KiB (" << wholeMs << " ms)\n";
    out << "streamed / whole read:    " << QString::number(whole > 0 ? double(streamed) / double(whole) : 0, 'g', 3)
        << "\n";
    out << "streamed / file size:     " << QString::number(double(streamed) / double(mib * 1024), 'g', 3) << "\n";
    out << "time streamed / whole:    "
        << QString::number(wholeMs > 0 ? double(streamedMs) / double(wholeMs) : 0, 'g', 3) << "\n";
    return pass ? 0 : 1;
}
