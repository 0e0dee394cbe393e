// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers

// mirrors.ini as the mirror pool reads it, followed by a run's worth of pool
// use: every mirror is handed out once, given back, and failed until retired.

#include "fuzzsupport.h"

#include "config/randomgenerator.h"
#include "download/mirrors.h"

#include <QCoreApplication>
#include <QSet>

namespace {

const int Version = 1234;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInitApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = QCoreApplication::applicationDirPath() + "/mirrors.ini";
    fuzzWriteFile(path, fuzzBytes(data, size));
    RandomGenerator::seed(static_cast<unsigned int>(size));

    Mirrors pool(nullptr);
    fuzzCheck(pool.initDefault(path, Version), "reading the list never fails");
    const QVector<FTPSiteAccessData> records = pool.mirrorList();
    QSet<QString> names;
    for (const FTPSiteAccessData& record : records) {
        fuzzCheck(!record.name.isEmpty() && record.name == record.name.trimmed(), "trimmed name");
        fuzzCheck(record.url.endsWith("/" + QString::number(Version)), "versioned base URL");
        fuzzCheck(record.retries > 0, "at least one failure tolerated");
        fuzzCheck(record.maxConnections == 1 && record.activeConnections == 0
                      && record.errorCount == 0 && record.timeoutTicks == 15,
                  "fresh record");
        fuzzCheck(pool.getMirrorIndex(record.name) >= 0, "found by name");
        names.insert(record.name);
    }

    // Every record serves one transfer at a time; after that all are busy.
    QVector<FTPSiteAccessData> handedOut;
    FTPSiteAccessData out;
    int result = 0;
    while ((result = pool.getRandomMirror(out)) == 0) {
        fuzzCheck(handedOut.size() < records.size(), "no more mirrors than records");
        handedOut.append(out);
    }
    fuzzCheck(handedOut.size() == records.size(), "every record is handed out");
    fuzzCheck(result == (records.isEmpty() ? 1 : 2), "empty or all busy");
    int slotCount = -1;
    int inUse = -1;
    pool.calcUseStats(slotCount, inUse);
    fuzzCheck(slotCount == records.size() && inUse == records.size(), "use statistics");

    for (const FTPSiteAccessData& mirror : handedOut)
        pool.releaseMirror(mirror.name);
    // Duplicate names share one record for every operation by name, so the
    // pool empties after at most retries + 1 failures per record.
    for (const FTPSiteAccessData& record : records) {
        if (record.retries > 64) {
            pool.removeMirror(record.name);
            continue;
        }
        for (int i = 0; i <= record.retries; ++i)
            pool.addMirrorError(record.name);
    }
    pool.removeMirror(QString());
    for (const QString& name : names) {
        while (pool.getMirrorIndex(name) >= 0)
            pool.removeMirror(name);
    }
    fuzzCheck(pool.mirrorList().isEmpty(), "every mirror retired");
    fuzzCheck(pool.getRandomMirror(out) == 1 && pool.getRandomMirror(out) == 1, "empty pool");
    return 0;
}
