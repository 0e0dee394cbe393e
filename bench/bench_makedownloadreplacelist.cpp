// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
//
// Time of the list builder on an up-to-date installation against md5sum over
// the same files, in the same run, as a ratio. The tree (2,000 files, about
// 500 MB) is generated below the benchmark's own directory, which the builder
// takes as the installation, and removed afterwards.
//
// Usage: bench_makedownloadreplacelist [files [total-megabytes [rounds]]]
#include "config/configuration.h"
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

struct Tree
{
    QStringList paths;
    qint64 bytes = 0;
};

bool generate(const QString& root, const QString& prefix, const QString& iniPath, int files, qint64 totalBytes,
              Tree& tree)
{
    QRandomGenerator rng(42);
    QFile ini(iniPath);
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&ini);
    out << "[bin]\n";
    const qint64 mean = totalBytes / files;
    QByteArray data;
    for (int i = 0; i < files; ++i) {
        const qint64 size = 1024 + qint64(rng.bounded(quint32(2 * mean - 2048)));
        data.resize(size);
        rng.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
        const QString key = QString("%1/d%2/s%3/file%4.bin").arg(prefix).arg(i % 16).arg(i % 7).arg(i);
        const QString path = root + "/" + key;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != size)
            return false;
        const QByteArray md5 = QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
        out << key << "=" << md5 << "::" << size << "\n";
        tree.paths.append(path);
        tree.bytes += size;
    }
    return true;
}

qint64 timeMd5sum(const QStringList& paths)
{
    QElapsedTimer timer;
    timer.start();
    QProcess md5sum;
    md5sum.setStandardOutputFile(QProcess::nullDevice());
    md5sum.start("md5sum", paths);
    if (!md5sum.waitForFinished(-1) || md5sum.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed();
}

qint64 timeBuilder(Configuration* configuration, bool& upToDate)
{
    FileSpecifications specs;
    MakeDownloadReplaceListTaskSpecification task(configuration, specs, nullptr, 1.0);
    QEventLoop loop;
    QObject::connect(&task, SIGNAL(finished(TaskSpecification*)), &loop, SLOT(quit()));
    QObject::connect(&task, SIGNAL(canceled(TaskSpecification*)), &loop, SLOT(quit()));
    QElapsedTimer timer;
    timer.start();
    task.execute();
    loop.exec();
    const qint64 elapsed = timer.nsecsElapsed();
    upToDate = task.state == Finished && specs.replaceList.isEmpty() && specs.downloadList.isEmpty();
    return elapsed;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int files = args.size() > 1 ? args.at(1).toInt() : 2000;
    const qint64 megabytes = args.size() > 2 ? args.at(2).toLongLong() : 500;
    const int rounds = args.size() > 3 ? args.at(3).toInt() : 3;

    QTemporaryDir install(Configuration::getAppRootPath() + "/bench-tree-XXXXXX");
    QTemporaryDir temp;
    if (!install.isValid() || !temp.isValid())
        return 1;
    Configuration configuration;
    configuration.m_tempDir = temp.path();
    configuration.m_clientType = "client_bench";

    Tree tree;
    if (!generate(Configuration::getAppRootPath(), QFileInfo(install.path()).fileName(),
                  temp.path() + "/client_bench.ini", files, megabytes * 1024 * 1024, tree)) {
        std::fprintf(stderr, "could not generate the tree\n");
        return 1;
    }
    std::printf("tree: %d files, %.1f MB\n", int(tree.paths.size()), tree.bytes / 1048576.0);

    // Both read from the page cache: warm it once before timing either.
    timeMd5sum(tree.paths);

    qint64 bestMd5sum = -1;
    qint64 bestBuilder = -1;
    for (int round = 0; round < rounds; ++round) {
        const qint64 m = timeMd5sum(tree.paths);
        bool upToDate = false;
        const qint64 b = timeBuilder(&configuration, upToDate);
        if (m < 0 || !upToDate) {
            std::fprintf(stderr, "round %d failed (md5sum %lld, up to date %d)\n", round, qlonglong(m), upToDate);
            return 1;
        }
        std::printf("round %d: md5sum %.3f s, list builder %.3f s, ratio %.3f\n", round, m / 1e9, b / 1e9,
                    double(b) / double(m));
        bestMd5sum = bestMd5sum < 0 ? m : std::min(bestMd5sum, m);
        bestBuilder = bestBuilder < 0 ? b : std::min(bestBuilder, b);
    }
    std::printf("best: md5sum %.3f s, list builder %.3f s, ratio %.3f (goal <= 1.15)\n", bestMd5sum / 1e9,
                bestBuilder / 1e9, double(bestBuilder) / double(bestMd5sum));
    return 0;
}
