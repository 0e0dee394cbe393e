// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileopstestutil.h"

#include "fileops/filecopytaskspecification.h"
#include "fileops/fileunziptaskspecification.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fileopstest;

namespace {
const int bufferSize = 16384;

enum Op { Copy, Unzip };

SlowFileOpSpecification* makeTask(Op op, RollbackDataList* journal, const QString& source,
                                  const QString& destination)
{
    if (op == Copy)
        return new FileCopyTaskSpecification(journal, source, destination, nullptr, 1.0);
    return new FileUnzipTaskSpecification(journal, source, destination, nullptr, 1.0);
}

QString failText(Op op, const QString& source, const QString& destination)
{
    return QString(op == Copy ? "Could not copy '%1' to '%2'" : "Could not unzip '%1' to '%2'")
        .arg(source, destination);
}
}

Q_DECLARE_METATYPE(Op)

class TestCopyUnzip : public QObject
{
    Q_OBJECT
private slots:
    void unzip_data();
    void unzip();
    void copy_data();
    void copy();
    void withoutJournal_data();
    void withoutJournal();
    void unzipShortWrite();
    void diskFull_data();
    void diskFull();
};

// source: bytes of the source file (null: no source file). destination: what
// is at the destination before ("": nothing, "dir": a directory, else a file
// with that content). expected: the destination's content afterwards (null:
// nothing there).
void TestCopyUnzip::unzip_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray small("hello, installed file\n");
    const QByteArray large = noise(3 * bufferSize + 123, 7);
    const QByteArray largeGz = gzipped(large);
    QVERIFY(largeGz.size() > 2 * bufferSize);

    QTest::newRow("small") << gzipped(small) << "" << true << small;
    QTest::newRow("several buffers") << largeGz << "" << true << large;
    QTest::newRow("exactly one buffer") << gzipped(large.left(bufferSize)) << "" << true << large.left(bufferSize);
    QTest::newRow("empty content") << gzipped(QByteArray()) << "" << true << QByteArray("");
    QTest::newRow("not gzip, passed through") << large << "" << true << large;
    QTest::newRow("existing destination is replaced") << gzipped(small) << "old content" << true << small;
    QTest::newRow("truncated in the data") << largeGz.left(largeGz.size() / 2) << "" << false << QByteArray();
    QTest::newRow("truncated in the header") << largeGz.left(5) << "" << false << QByteArray();
    QTest::newRow("trailer missing") << largeGz.left(largeGz.size() - 8) << "" << false << QByteArray();
    QByteArray corrupt = largeGz;
    for (int i = 100; i < 200; ++i)
        corrupt[i] = char(~corrupt[i]);
    QTest::newRow("corrupt data") << corrupt << "" << false << QByteArray();
    QByteArray badCrc = gzipped(small);
    badCrc[badCrc.size() - 6] = char(~badCrc[badCrc.size() - 6]);
    QTest::newRow("wrong checksum") << badCrc << "" << false << QByteArray();
    QTest::newRow("source missing") << QByteArray() << "" << false << QByteArray();
    QTest::newRow("directory at destination") << gzipped(small) << "dir" << false << QByteArray();
}

void TestCopyUnzip::unzip()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, destination);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = dir.path() + "/download/file.gz";
    const QString dst = dir.path() + "/install/file";
    QVERIFY(QDir().mkpath(dir.path() + "/install"));
    if (!source.isNull())
        QVERIFY2(writeFile(src, source), qPrintable(src));
    if (destination == "dir")
        QVERIFY(QDir().mkpath(dst));
    else if (!destination.isEmpty())
        QVERIFY2(writeFile(dst, destination.toUtf8()), qPrintable(dst));

    RollbackDataList journal;
    QScopedPointer<SlowFileOpSpecification> task(makeTask(Unzip, &journal, src, dst));
    SignalLog signalLog;
    signalLog.watch(task.data(), "t");
    QVERIFY(runTask(task.data()));

    if (ok) {
        QCOMPARE(task->state, Finished);
        QCOMPARE(signalLog.entries, QStringList { "t:finished" });
        QCOMPARE(journalText(journal, dir.path()), QStringList { "CreateFile install/file" });
        QVERIFY2(readAll(dst) == expected, qPrintable(dst));
        QCOMPARE(QFileInfo(dst).size(), qint64(expected.size()));
    } else {
        QCOMPARE(task->state, ErrorCanceled);
        QCOMPARE(signalLog.entries, QStringList({ "t:message:" + failText(Unzip, src, dst), "t:canceled" }));
        QVERIFY(journal.entries.isEmpty());
        if (destination == "dir")
            QVERIFY2(QFileInfo(dst).isDir(), qPrintable(dst));
        else
            QVERIFY2(!QFileInfo::exists(dst), qPrintable(dst + " left behind"));
    }
    if (!source.isNull())
        QVERIFY2(readAll(src) == source, qPrintable(src + " changed"));
}

void TestCopyUnzip::copy_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("ok");

    const QByteArray large = noise(3 * bufferSize + 5, 3);
    QTest::newRow("new file") << large << "" << true;
    QTest::newRow("empty file") << QByteArray("") << "" << true;
    QTest::newRow("gzip data copied as it is") << gzipped(large) << "" << true;
    QTest::newRow("destination exists") << large << "installed content" << false;
    QTest::newRow("directory at destination") << large << "dir" << false;
    QTest::newRow("source missing") << QByteArray() << "" << false;
    QTest::newRow("destination directory missing") << large << "nodir" << false;
}

void TestCopyUnzip::copy()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, destination);
    QFETCH(bool, ok);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = dir.path() + "/download/file";
    QString dst = dir.path() + "/install/file";
    QVERIFY(QDir().mkpath(dir.path() + "/install"));
    if (!source.isNull())
        QVERIFY2(writeFile(src, source), qPrintable(src));
    if (destination == "dir")
        QVERIFY(QDir().mkpath(dst));
    else if (destination == "nodir")
        dst = dir.path() + "/missing/file";
    else if (!destination.isEmpty())
        QVERIFY2(writeFile(dst, destination.toUtf8()), qPrintable(dst));
    const QStringList installBefore = tree(dir.path() + "/install");

    RollbackDataList journal;
    QScopedPointer<SlowFileOpSpecification> task(makeTask(Copy, &journal, src, dst));
    SignalLog signalLog;
    signalLog.watch(task.data(), "t");
    QVERIFY(runTask(task.data()));

    if (ok) {
        QCOMPARE(task->state, Finished);
        QCOMPARE(signalLog.entries, QStringList { "t:finished" });
        QCOMPARE(journalText(journal, dir.path()), QStringList { "CreateFile install/file" });
        QVERIFY2(readAll(dst) == source, qPrintable(dst));
        QCOMPARE(tree(dir.path() + "/install"), QStringList { "file" });
    } else {
        QCOMPARE(task->state, ErrorCanceled);
        QCOMPARE(signalLog.entries, QStringList({ "t:message:" + failText(Copy, src, dst), "t:canceled" }));
        QVERIFY(journal.entries.isEmpty());
        // Whatever was there is untouched and no stray temporary file is left.
        QCOMPARE(tree(dir.path() + "/install"), installBefore);
        if (!destination.isEmpty() && destination != "dir" && destination != "nodir")
            QVERIFY2(readAll(dst) == destination.toUtf8(), qPrintable(dst + " changed"));
    }
}

void TestCopyUnzip::withoutJournal_data()
{
    QTest::addColumn<Op>("op");
    QTest::newRow("copy") << Copy;
    QTest::newRow("unzip") << Unzip;
}

void TestCopyUnzip::withoutJournal()
{
    QFETCH(Op, op);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plain("content");
    const QString src = dir.path() + "/src";
    const QString dst = dir.path() + "/dst";
    QVERIFY(writeFile(src, op == Unzip ? gzipped(plain) : plain));
    QScopedPointer<SlowFileOpSpecification> task(makeTask(op, nullptr, src, dst));
    QVERIFY(runTask(task.data()));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(dst) == plain, qPrintable(dst));
}

void TestCopyUnzip::unzipShortWrite()
{
    // The destination is a link to a device that refuses every write. A failed
    // decompression deletes its destination: that must be the link only.
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("/dev/full is not available here");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = dir.path() + "/file.gz";
    const QString dst = dir.path() + "/full";
    QVERIFY(writeFile(src, gzipped(noise(4 * bufferSize, 11))));
    QVERIFY(QFile::link("/dev/full", dst));

    RollbackDataList journal;
    QScopedPointer<SlowFileOpSpecification> task(makeTask(Unzip, &journal, src, dst));
    SignalLog signalLog;
    signalLog.watch(task.data(), "t");
    QVERIFY(runTask(task.data()));

    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(signalLog.entries, QStringList({ "t:message:" + failText(Unzip, src, dst), "t:canceled" }));
    QVERIFY(journal.entries.isEmpty());
    QVERIFY2(!QFileInfo(dst).isSymLink(), qPrintable(dst + " left behind"));
    QVERIFY2(QFileInfo::exists("/dev/full"), "/dev/full was deleted");
}

void TestCopyUnzip::diskFull_data()
{
    QTest::addColumn<Op>("op");
    QTest::newRow("copy") << Copy;
    QTest::newRow("unzip") << Unzip;
}

void TestCopyUnzip::diskFull()
{
    QFETCH(Op, op);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SmallFileSystem fs(dir.path() + "/small", 64);
    if (!fs.mounted())
        QSKIP(qPrintable("a small tmpfs cannot be mounted here (needs root and mount rights): " + fs.reason()));

    const QByteArray plain = noise(16 * bufferSize, 5);
    const QString src = dir.path() + "/src";
    const QString dst = fs.path() + "/file";
    QVERIFY(writeFile(src, op == Unzip ? gzipped(plain) : plain));

    RollbackDataList journal;
    QScopedPointer<SlowFileOpSpecification> task(makeTask(op, &journal, src, dst));
    SignalLog signalLog;
    signalLog.watch(task.data(), "t");
    QVERIFY(runTask(task.data()));

    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(signalLog.entries, QStringList({ "t:message:" + failText(op, src, dst), "t:canceled" }));
    QVERIFY(journal.entries.isEmpty());
    QVERIFY2(tree(fs.path()).isEmpty(), qPrintable(fs.path() + " holds " + tree(fs.path()).join(", ")));
}

QTEST_GUILESS_MAIN(TestCopyUnzip)
#include "tst_copyunzip.moc"
