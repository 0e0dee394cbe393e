// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "replacefixture.h"

#include "fileops/dircreatetaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "fileops/filereplacetaskspecification.h"

#include "tasks/slowfileoptaskspecification.h"

#include <QTest>

using namespace fileopstest;

class TestReplaceLists : public QObject
{
    Q_OBJECT
private slots:
    void weights_data();
    void weights();
    void secondOfThreeFails();
    void userCancel_data();
    void userCancel();
    void diskFull();
    void deleteListTakesBackups();
};

void TestReplaceLists::weights_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("subtasks");

    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("no missing directory")
        << QStringList { "a", "b", "c" }
        << QStringList { "R a 0.333333", "R b 0.333333", "R c 0.333333" };
    QTest::newRow("one missing directory shared")
        << QStringList { "x/a", "x/b" } << QStringList { "D x 0.1", "R x/a 0.45", "R x/b 0.45" };
    QTest::newRow("two missing directories, sorted")
        << QStringList { "y/z/a", "b", "x/c" }
        << QStringList { "D x 0.05", "D y/z 0.05", "R y/z/a 0.3", "R b 0.3", "R x/c 0.3" };
}

void TestReplaceLists::weights()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, subtasks);

    ReplaceFixture fx;
    QList<FileReplaceSpecification> entries;
    for (const QString& n : names)
        entries << fx.entry(n, n.toUtf8(), false);
    QList<QString> toDelete;
    FileReplaceListTaskSpecification list(&entries, &toDelete, &fx.configuration, nullptr, 1.0);
    SignalLog log;
    log.watch(&list, "l");
    QVERIFY(runTask(&list));

    QStringList kinds;
    for (TaskSpecification* sub : list.subTasks) {
        if (auto* d = qobject_cast<DirCreateTaskSpecification*>(sub))
            kinds << QString("D %1 %2").arg(QDir(fx.install()).relativeFilePath(d->path)).arg(sub->parentProgressRange);
        else if (auto* r = qobject_cast<FileReplaceTaskSpecification*>(sub))
            kinds << QString("R %1 %2").arg(r->spec.fileName).arg(sub->parentProgressRange);
    }
    QCOMPARE(kinds, subtasks);
    QCOMPARE(list.state, Finished);
    QStringList expected;
    for (const QString& n : names)
        expected << n + "=" + n;
    QStringList files = fx.contents().filter("=");
    files.sort();
    expected.sort();
    QCOMPARE(files, expected);
    if (names.isEmpty())
        QCOMPARE(log.entries, QStringList({ "l:message:Starting file updates", "l:finished" }));
}

void TestReplaceLists::secondOfThreeFails()
{
    ReplaceFixture fx;
    QVERIFY(fx.installed("a", "old a"));
    QVERIFY(fx.installed("c", "old c"));
    const QStringList before = fx.contents();
    // The first is small and quick; the second fails its check only after a
    // large decompression, so the first has handed over its changes by then.
    QList<FileReplaceSpecification> entries { fx.entry("a", "new a", false),
                                              fx.entry("new/sub/b", noise(1 << 20, 1), true,
                                                       "00000000000000000000000000000000"),
                                              fx.entry("c", "new c", false) };
    QList<QString> toDelete;
    FileReplaceListTaskSpecification list(&entries, &toDelete, &fx.configuration, nullptr, 1.0);
    SignalLog log;
    log.watch(&list, "l");
    QVERIFY(runTask(&list));

    QCOMPARE(list.state, ErrorCanceled);
    QCOMPARE(fx.contents(), before);
    QVERIFY2(log.messages().contains("rolling back file updates"), qPrintable(log.messages().join(" | ")));
    QVERIFY(log.messages().contains("Signature check failed for " + fx.install() + "/new/sub/b"));
    QVERIFY(list.journal.entries.isEmpty());
    QCOMPARE(log.entries.last(), QString("l:canceled"));
}

void TestReplaceLists::userCancel_data()
{
    QTest::addColumn<int>("entryCount");
    QTest::addColumn<bool>("cancelAtOnce");
    QTest::addColumn<int>("state");

    QTest::newRow("before anything ran") << 3 << true << int(UserCanceled);
    QTest::newRow("while replacements are pending") << 3 << false << int(UserCanceled);
    QTest::newRow("during the last step of the only replacement") << 1 << false << int(Finished);
}

void TestReplaceLists::userCancel()
{
    QFETCH(int, entryCount);
    QFETCH(bool, cancelAtOnce);
    QFETCH(int, state);

    ReplaceFixture fx;
    QVERIFY(fx.installed("f0", "old"));
    const QStringList before = fx.contents();
    QList<FileReplaceSpecification> entries;
    for (int i = 0; i < entryCount; ++i)
        entries << fx.entry(i == 0 ? QString("f0") : QString("d/f%1").arg(i), noise(1 << 18, i), false);
    QList<QString> toDelete;
    FileReplaceListTaskSpecification list(&entries, &toDelete, &fx.configuration, nullptr, 1.0);
    SignalLog log;
    log.watch(&list, "l");
    list.execute();
    if (!cancelAtOnce) {
        // Wait until the first replacement's copy runs on the pool.
        QVERIFY(QTest::qWaitFor([&list]() {
            for (TaskSpecification* t : list.runningTasks)
                if (auto* r = qobject_cast<FileReplaceTaskSpecification*>(t))
                    for (TaskSpecification* s : r->runningTasks)
                        if (qobject_cast<SlowFileOpSpecification*>(s))
                            return true;
            return false;
        }, 10000));
    }
    list.userCanceled();
    QVERIFY(QTest::qWaitFor([&list]() { return ended(&list); }, 10000));

    QCOMPARE(int(list.state), state);
    if (state == Finished) {
        QVERIFY2(readAll(fx.install() + "/f0") == noise(1 << 18, 0), "f0 not installed");
        QVERIFY(!log.messages().contains("rolling back file updates"));
    } else {
        QCOMPARE(fx.contents(), before);
        QVERIFY(log.messages().contains("rolling back file updates"));
    }
}

void TestReplaceLists::diskFull()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SmallFileSystem fs(dir.path() + "/install", 128);
    if (!fs.mounted())
        QSKIP(qPrintable("a small tmpfs cannot be mounted here (needs root and mount rights): " + fs.reason()));
    ReplaceFixture fx(fs.path());
    QVERIFY(fx.installed("a", "old a"));
    QVERIFY(fx.installed("lib/libx.so", "old lib"));
    const QStringList before = fx.contents();
    QList<FileReplaceSpecification> entries { fx.entry("a", "new a", false),
                                              fx.entry("lib/libx.so", "new lib", true),
                                              fx.entry("data/big", noise(1 << 20, 9), true) };
    QList<QString> toDelete;
    FileReplaceListTaskSpecification list(&entries, &toDelete, &fx.configuration, nullptr, 1.0);
    SignalLog log;
    log.watch(&list, "l");
    QVERIFY(runTask(&list));

    QCOMPARE(list.state, ErrorCanceled);
    QCOMPARE(fx.contents(), before);
    QVERIFY(log.messages().contains("Could not unzip '" + fx.downloads() + "/data/big.gz' to '" + fs.path() + "/data/big'"));
    QVERIFY(log.messages().contains("rolling back file updates"));
    // Backup names queued by replacements that were rolled back name nothing now.
    for (const QString& name : toDelete)
        QVERIFY2(!QFileInfo::exists(fs.path() + "/" + name), qPrintable(name));
}

void TestReplaceLists::deleteListTakesBackups()
{
    ReplaceFixture fx;
    QVERIFY(fx.installed("a", "old a"));
    QVERIFY(fx.installed("update", "old updater"));
    QVERIFY(fx.installed("obsolete", "gone"));
    QList<FileReplaceSpecification> entries { fx.entry("a", "new a", false), fx.entry("update", "new updater", false) };
    QList<QString> toDelete { "obsolete", "never/there" };
    FileReplaceListTaskSpecification replace(&entries, &toDelete, &fx.configuration, nullptr, 0.5);
    FileDeleteListTaskSpecification remove(&toDelete, nullptr, 0.5);
    SignalLog log;
    log.watch(&replace, "r");
    log.watch(&remove, "d");
    QVERIFY(runTask(&replace));
    QCOMPARE(replace.state, Finished);
    QCOMPARE(toDelete, QList<QString>({ "obsolete", "never/there", "_old_a" }));
    QVERIFY(runTask(&remove));
    QCOMPARE(remove.state, Finished);
    QCOMPARE(remove.subTasks.size(), 3);
    // The updater's own backup stays for the clean-up at the next start.
    QCOMPARE(fx.contents(), QStringList({ "_old_update=old updater", "a=new a", "update=new updater" }));
    QCOMPARE(log.entries.filter(QRegularExpression("^d:")),
             QStringList({ "d:message:Starting deleting files", "d:finished" }));
}

QTEST_GUILESS_MAIN(TestReplaceLists)
#include "tst_replacelists.moc"
