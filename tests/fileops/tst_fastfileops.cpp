// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileopstestutil.h"

#include "fileops/dircreatetaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/filerenametaskspecification.h"

#include <QTemporaryDir>
#include <QTest>

using namespace fileopstest;

namespace {
// Fixture lines: "d:A" directory, "f:A" file with content "A", "l:A" dangling
// symbolic link.
void makeFixture(const QString& root, const QStringList& fixture)
{
    for (const QString& line : fixture) {
        const QString path = root + "/" + line.mid(2);
        if (line.startsWith("d:"))
            QVERIFY2(QDir().mkpath(path), qPrintable(path));
        else if (line.startsWith("f:"))
            QVERIFY2(writeFile(path, line.mid(2).toUtf8()), qPrintable(path));
        else if (line.startsWith("l:"))
            QVERIFY2(QFile::link(root + "/no-such-target", path), qPrintable(path));
    }
}

QStringList substituted(QStringList lines, const QString& root)
{
    for (QString& line : lines)
        line.replace("%R", root);
    return lines;
}
}

class TestFastFileOps : public QObject
{
    Q_OBJECT
private slots:
    void dirCreate_data();
    void dirCreate();
    void dirCreateRelativeWithoutAncestor();
    void dirCreateWithoutJournal();
    void fileDelete_data();
    void fileDelete();
    void fileRename_data();
    void fileRename();
};

void TestFastFileOps::dirCreate_data()
{
    QTest::addColumn<QStringList>("fixture");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<QStringList>("treeAfter");

    QTest::newRow("already there") << QStringList { "d:A" } << "A" << int(Finished) << QStringList { "t:finished" }
                                   << QStringList() << QStringList { "A/" };
    QTest::newRow("one level") << QStringList { "d:A" } << "A/B" << int(Finished) << QStringList { "t:finished" }
                               << QStringList { "CreateDir A/B" } << QStringList { "A/", "A/B/" };
    QTest::newRow("two levels, outermost first")
        << QStringList { "d:A" } << "A/B/C" << int(Finished) << QStringList { "t:finished" }
        << QStringList { "CreateDir A/B", "CreateDir A/B/C" } << QStringList { "A/", "A/B/", "A/B/C/" };
    QTest::newRow("trailing slash") << QStringList { "d:A" } << "A/B/" << int(Finished)
                                    << QStringList { "t:finished" } << QStringList { "CreateDir A/B" }
                                    << QStringList { "A/", "A/B/" };
    QTest::newRow("file in the way")
        << QStringList { "f:A" } << "A" << int(ErrorCanceled)
        << QStringList { "t:message:Could not create dir '%R/A' because it already exists and is not a dir",
                         "t:canceled" }
        << QStringList() << QStringList { "A" };
    QTest::newRow("file in the way of a parent")
        << QStringList { "f:A" } << "A/B/C" << int(ErrorCanceled)
        << QStringList { "t:message:unable to create dir %R/A/B", "t:canceled" } << QStringList()
        << QStringList { "A" };
    QTest::newRow("a level cannot be created")
        << QStringList { "d:A", "l:A/B" } << "A/B/C" << int(ErrorCanceled)
        << QStringList { "t:message:unable to create dir %R/A/B", "t:canceled" } << QStringList()
        << QStringList { "A/", "A/B" };
}

void TestFastFileOps::dirCreate()
{
    QFETCH(QStringList, fixture);
    QFETCH(QString, target);
    QFETCH(int, state);
    QFETCH(QStringList, log);
    QFETCH(QStringList, journal);
    QFETCH(QStringList, treeAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    makeFixture(root, fixture);
    const QStringList before = tree(root);

    RollbackDataList rollback;
    DirCreateTaskSpecification task(root + "/" + target, &rollback, nullptr, 1.0);
    SignalLog signalLog;
    signalLog.watch(&task, "t");
    task.execute();

    QCOMPARE(int(task.state), state);
    QCOMPARE(signalLog.entries, substituted(log, root));
    QCOMPARE(journalText(rollback, root), journal);
    QCOMPARE(tree(root), treeAfter);

    // Undoing the journal (newest first) removes exactly what was created.
    QVERIFY2(rollback.rollback(nullptr), qPrintable(root));
    QCOMPARE(tree(root), before);
}

void TestFastFileOps::dirCreateRelativeWithoutAncestor()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    RollbackDataList rollback;
    DirCreateTaskSpecification task("X/Y", &rollback, nullptr, 1.0);
    SignalLog signalLog;
    signalLog.watch(&task, "t");
    task.execute();
    QDir::setCurrent(oldCurrent);

    QCOMPARE(task.state, ErrorCanceled);
    // Names the directory asked for, not the level where the search stopped.
    QCOMPARE(signalLog.entries, QStringList({ "t:message:Could not create dir X/Y", "t:canceled" }));
    QVERIFY(rollback.entries.isEmpty());
    QCOMPARE(tree(dir.path()), QStringList());
}

void TestFastFileOps::dirCreateWithoutJournal()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    DirCreateTaskSpecification task(dir.path() + "/A/B", nullptr, nullptr, 1.0);
    task.execute();
    QCOMPARE(task.state, Finished);
    QVERIFY2(QFileInfo(dir.path() + "/A/B").isDir(), qPrintable(dir.path() + "/A/B"));
}

void TestFastFileOps::fileDelete_data()
{
    QTest::addColumn<bool>("failIfNotDeleted");
    QTest::addColumn<QStringList>("fixture");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("treeAfter");

    for (bool fail : { false, true }) {
        const QByteArray tag = fail ? "must delete, " : "may skip, ";
        QTest::newRow(tag + "file") << fail << QStringList { "f:T", "f:U" } << int(Finished)
                                    << QStringList { "t:finished" } << QStringList { "U" };
        QTest::newRow(tag + "missing")
            << fail << QStringList { "f:U" } << int(fail ? ErrorCanceled : Finished)
            << (fail ? QStringList { "t:message:Could not delete '%R/T'", "t:canceled" }
                     : QStringList { "t:finished" })
            << QStringList { "U" };
        QTest::newRow(tag + "directory")
            << fail << QStringList { "d:T" } << int(fail ? ErrorCanceled : Finished)
            << (fail ? QStringList { "t:message:Could not delete '%R/T'", "t:canceled" }
                     : QStringList { "t:finished" })
            << QStringList { "T/" };
    }
}

void TestFastFileOps::fileDelete()
{
    QFETCH(bool, failIfNotDeleted);
    QFETCH(QStringList, fixture);
    QFETCH(int, state);
    QFETCH(QStringList, log);
    QFETCH(QStringList, treeAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    makeFixture(root, fixture);

    FileDeleteTaskSpecification task(failIfNotDeleted, root + "/T", nullptr, 1.0);
    QVERIFY(task.journal == nullptr);
    SignalLog signalLog;
    signalLog.watch(&task, "t");
    task.execute();

    QCOMPARE(int(task.state), state);
    QCOMPARE(signalLog.entries, substituted(log, root));
    QCOMPARE(tree(root), treeAfter);
}

void TestFastFileOps::fileRename_data()
{
    QTest::addColumn<QStringList>("fixture");
    QTest::addColumn<bool>("withJournal");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<QStringList>("contentsAfter");

    const QStringList failed { "t:message:Could not rename '%R/F' to '%R/G'", "t:canceled" };
    QTest::newRow("free name") << QStringList { "f:F" } << true << int(Finished) << QStringList { "t:finished" }
                               << QStringList { "Rename F -> G" } << QStringList { "G=F" };
    QTest::newRow("free name, no journal") << QStringList { "f:F" } << false << int(Finished)
                                           << QStringList { "t:finished" } << QStringList()
                                           << QStringList { "G=F" };
    QTest::newRow("target exists") << QStringList { "f:F", "f:G" } << true << int(ErrorCanceled) << failed
                                   << QStringList() << QStringList { "F=F", "G=G" };
    QTest::newRow("directory at target") << QStringList { "f:F", "d:G" } << true << int(ErrorCanceled) << failed
                                         << QStringList() << QStringList { "F=F", "G/" };
    QTest::newRow("source missing") << QStringList() << true << int(ErrorCanceled) << failed << QStringList()
                                    << QStringList();
}

void TestFastFileOps::fileRename()
{
    QFETCH(QStringList, fixture);
    QFETCH(bool, withJournal);
    QFETCH(int, state);
    QFETCH(QStringList, log);
    QFETCH(QStringList, journal);
    QFETCH(QStringList, contentsAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path();
    makeFixture(root, fixture);

    RollbackDataList rollback;
    FileRenameTaskSpecification task(root + "/F", root + "/G", withJournal ? &rollback : nullptr, nullptr, 1.0);
    QCOMPARE(task.path, root + "/G");
    QCOMPARE(task.from, root + "/F");
    SignalLog signalLog;
    signalLog.watch(&task, "t");
    task.execute();

    QCOMPARE(int(task.state), state);
    QCOMPARE(signalLog.entries, substituted(log, root));
    QCOMPARE(journalText(rollback, root), journal);
    QStringList contents;
    for (const QString& entry : tree(root))
        contents << (entry.endsWith("/") ? entry : entry + "=" + QString::fromUtf8(readAll(root + "/" + entry)));
    QCOMPARE(contents, contentsAfter);
}

QTEST_GUILESS_MAIN(TestFastFileOps)
#include "tst_fastfileops.moc"
