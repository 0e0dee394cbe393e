// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/rollback.h"
#include "testlib/faketasks.h"
#include "testlib/signalrecorder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Every entry below root as "path" for a directory and "path=content" for a
// file, sorted.
QStringList listing(const QString& root)
{
    QStringList result;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            result.append(rel);
        } else {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            result.append(rel + "=" + QString::fromLatin1(f.readAll()));
        }
    }
    result.sort();
    return result;
}

// Applies one setup step below root and journals it unless it is a plain one:
//   mkdir:D       create directory D, journal CreateDir
//   mkdir/:D      the same, journalled with a trailing "/"
//   write:F=text  write file F, journal CreateFile
//   rename:A>B    rename A to B, journal Rename(A, B)
//   plain:F=text  write file F, not journalled (the installation, strays)
//   journal-file:F  journal CreateFile for F without writing it
bool apply(const QString& root, const QString& step, RollbackDataList& journal)
{
    const QString kind = step.section(':', 0, 0);
    const QString arg = step.section(':', 1);
    auto abs = [&](const QString& rel) { return root + "/" + rel; };
    if (kind == "mkdir" || kind == "mkdir/") {
        if (!QDir().mkdir(abs(arg)))
            return false;
        journal.add(RollbackData(RollbackData::CreateDir, abs(arg) + (kind == "mkdir/" ? "/" : "")));
        return true;
    }
    if (kind == "write" || kind == "plain") {
        if (!writeFile(abs(arg.section('=', 0, 0)), arg.section('=', 1).toLatin1()))
            return false;
        if (kind == "write")
            journal.add(RollbackData(RollbackData::CreateFile, abs(arg.section('=', 0, 0))));
        return true;
    }
    if (kind == "rename") {
        const QString from = abs(arg.section('>', 0, 0));
        const QString to = abs(arg.section('>', 1));
        if (!QFile::rename(from, to))
            return false;
        journal.add(RollbackData(RollbackData::Rename, from, to));
        return true;
    }
    if (kind == "journal-file") {
        journal.add(RollbackData(RollbackData::CreateFile, abs(arg)));
        return true;
    }
    return false;
}

} // namespace

class TestRollback : public QObject
{
    Q_OBJECT
private slots:
    void undo_data();
    void undo();
    void nullReporterUndoesSilently();
    void appendListCopies();
    void clearKeepsFiles();
    void warningTravelsUpTheTree();
};

void TestRollback::undo_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<QStringList>("expectedWarnings"); // %T = the temporary directory
    QTest::addColumn<QStringList>("expectedListing");

    QTest::newRow("empty journal") << QStringList{} << true << QStringList{} << QStringList{};
    QTest::newRow("file in nested new directories: file, then child, then parent")
        << QStringList{"mkdir:D", "mkdir:D/E", "write:D/E/f=x"} << true << QStringList{} << QStringList{};
    QTest::newRow("replaced installed file gets its name back")
        << QStringList{"plain:F=old", "rename:F>_old_F", "write:F=new"} << true << QStringList{}
        << QStringList{"F=old"};
    QTest::newRow("directory path with a trailing slash")
        << QStringList{"mkdir/:D"} << true << QStringList{} << QStringList{};
    QTest::newRow("non-empty directory: warned, earlier entries still undone")
        << QStringList{"mkdir:D", "write:D/f=x", "mkdir:D/E", "plain:D/E/stray=s"} << false
        << QStringList{"warning: rollback create dir %T/D/E failed", "warning: rollback create dir %T/D failed"}
        << QStringList{"D", "D/E", "D/E/stray=s"};
    QTest::newRow("name to rename back to exists")
        << QStringList{"plain:F=old", "rename:F>_old_F", "plain:F=other"} << false
        << QStringList{"warning: rollback rename %T/F to %T/_old_F failed"} << QStringList{"F=other", "_old_F=old"};
    QTest::newRow("file to delete is missing, the rest goes on")
        << QStringList{"write:a=1", "journal-file:gone", "write:b=2"} << false
        << QStringList{"warning: rollback create file %T/gone failed"} << QStringList{};
}

void TestRollback::undo()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, expectedResult);
    QFETCH(QStringList, expectedWarnings);
    QFETCH(QStringList, expectedListing);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RollbackDataList journal;
    for (const QString& step : steps)
        QVERIFY2(apply(dir.path(), step, journal), qPrintable(step + " in " + dir.path()));

    FakeTask reporter(nullptr, 1.0);
    SignalRecorder recorder;
    recorder.watch(&reporter, "r");
    QCOMPARE(journal.rollback(&reporter), expectedResult);

    QStringList expectedLog;
    for (const QString& w : expectedWarnings)
        expectedLog.append("r message " + QString(w).replace("%T", dir.path()));
    QCOMPARE(recorder.log, expectedLog);
    QVERIFY(journal.entries.isEmpty());
    QCOMPARE(listing(dir.path()), expectedListing);
}

void TestRollback::nullReporterUndoesSilently()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RollbackDataList journal;
    for (const QString& step : QStringList{"mkdir:D", "write:D/f=x", "journal-file:gone", "plain:F=old", "rename:F>B"})
        QVERIFY2(apply(dir.path(), step, journal), qPrintable(step));
    QCOMPARE(journal.rollback(nullptr), false);
    QVERIFY(journal.entries.isEmpty());
    QCOMPARE(listing(dir.path()), QStringList{"F=old"});
}

void TestRollback::appendListCopies()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RollbackDataList listJournal;
    RollbackDataList fileJournal;
    QVERIFY(apply(dir.path(), "mkdir:D", listJournal));
    QVERIFY(apply(dir.path(), "plain:D/F=old", fileJournal));
    QVERIFY(apply(dir.path(), "rename:D/F>D/_old_F", fileJournal));
    QVERIFY(apply(dir.path(), "write:D/F=new", fileJournal));

    listJournal.appendList(fileJournal);
    QCOMPARE(fileJournal.entries.size(), 2);
    QCOMPARE(listJournal.entries.size(), 3);
    QCOMPARE(listJournal.entries.at(1).operation, RollbackData::Rename);
    QCOMPARE(listJournal.entries.at(2).operation, RollbackData::CreateFile);

    // The appended entries are undone first, newest first: the new file goes,
    // the old one gets its name back, and only then is D tried (not empty).
    FakeTask reporter(nullptr, 1.0);
    SignalRecorder recorder;
    recorder.watch(&reporter, "r");
    QCOMPARE(listJournal.rollback(&reporter), false);
    QCOMPARE(recorder.log, QStringList{"r message warning: rollback create dir " + dir.path() + "/D failed"});
    QCOMPARE(listing(dir.path()), (QStringList{"D", "D/F=old"}));
    QCOMPARE(fileJournal.entries.size(), 2);
    QCOMPARE(fileJournal.entries.at(0).path, dir.path() + "/D/_old_F");
    QCOMPARE(fileJournal.entries.at(0).oldPath, dir.path() + "/D/F");
}

void TestRollback::clearKeepsFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RollbackDataList journal;
    QVERIFY(apply(dir.path(), "mkdir:D", journal));
    QVERIFY(apply(dir.path(), "write:D/f=x", journal));
    journal.clear();
    QVERIFY(journal.entries.isEmpty());
    QCOMPARE(journal.rollback(nullptr), true);
    QCOMPARE(listing(dir.path()), (QStringList{"D", "D/f=x"}));
}

// The reporter's message signal is invoked by name, so a warning climbs the
// task tree like any other task message.
void TestRollback::warningTravelsUpTheTree()
{
    FakeComposite owner(1, 1.0, nullptr);
    FakeTask* leaf = owner.addFake(1.0);
    SignalRecorder recorder;
    recorder.watch(&owner, "owner");
    RollbackDataList journal;
    journal.add(RollbackData(RollbackData::CreateFile, "/nonexistent-dir-for-rollback-test/x"));
    QCOMPARE(journal.rollback(leaf), false);
    QCOMPARE(recorder.log,
             QStringList{"owner message warning: rollback create file /nonexistent-dir-for-rollback-test/x failed"});
}

QTEST_GUILESS_MAIN(TestRollback)
#include "tst_rollback.moc"
