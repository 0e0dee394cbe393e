// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "replacefixture.h"

#include "fileops/filereplacetaskspecification.h"

#include <QTest>

using namespace fileopstest;

class TestFileReplace : public QObject
{
    Q_OBJECT
private slots:
    void replace_data();
    void replace();
    void permissions_data();
    void permissions();
};

// installed / stale: whether the installed file and a backup from an earlier
// run exist before. failure: "" none, "md5" wrong sum of the decompressed
// file, "download" the downloaded file is missing, "stale" the old backup
// cannot be deleted (a non-empty directory of that name).
void TestFileReplace::replace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("subtasks");
    QTest::addColumn<QStringList>("contentsAfter");
    QTest::addColumn<QStringList>("deleteList");

    const QString copy = "FileCopyTaskSpecification ";
    const QString unzip = "FileUnzipTaskSpecification ";
    const QString check = "CheckSignatureTaskSpecification 0.2";
    const QString rename = "FileRenameTaskSpecification 0.1";
    const QString del = "FileDeleteTaskSpecification 0.1";

    QTest::newRow("new file") << "dir/f" << false << false << false << "" << QStringList { copy + "1" }
                              << QStringList { "dir/", "dir/f=new" } << QStringList();
    QTest::newRow("new compressed file") << "dir/f" << false << false << true << ""
                                         << QStringList { unzip + "0.8", check }
                                         << QStringList { "dir/", "dir/f=new" } << QStringList();
    QTest::newRow("new file, stale backup ignored")
        << "dir/f" << false << true << false << "" << QStringList { copy + "1" }
        << QStringList { "dir/", "dir/_old_f=stale", "dir/f=new" } << QStringList();
    QTest::newRow("replace") << "dir/f" << true << false << false << "" << QStringList { rename, copy + "0.9" }
                             << QStringList { "dir/", "dir/_old_f=old", "dir/f=new" }
                             << QStringList { "dir/_old_f" };
    QTest::newRow("replace compressed") << "f" << true << false << true << ""
                                        << QStringList { rename, unzip + "0.7", check }
                                        << QStringList { "_old_f=old", "f=new" } << QStringList { "_old_f" };
    QTest::newRow("replace, stale backup")
        << "f" << true << true << false << "" << QStringList { del, rename, copy + "0.8" }
        << QStringList { "_old_f=old", "f=new" } << QStringList { "_old_f" };
    QTest::newRow("replace compressed, stale backup")
        << "f" << true << true << true << "" << QStringList { del, rename, unzip + "0.6", check }
        << QStringList { "_old_f=old", "f=new" } << QStringList { "_old_f" };
    QTest::newRow("special file keeps its backup out of the list")
        << "update" << true << false << false << "" << QStringList { rename, copy + "0.9" }
        << QStringList { "_old_update=old", "update=new" } << QStringList();
    QTest::newRow("wrong sum after decompression")
        << "f" << true << false << true << "md5" << QStringList { rename, unzip + "0.7", check }
        << QStringList { "f=old" } << QStringList();
    QTest::newRow("download missing") << "f" << true << false << false << "download"
                                      << QStringList { rename, copy + "0.9" } << QStringList { "f=old" }
                                      << QStringList();
    QTest::newRow("stale backup cannot be deleted")
        << "f" << true << true << false << "stale" << QStringList { del, rename, copy + "0.8" }
        << QStringList { "_old_f/", "_old_f/x=stale", "f=old" } << QStringList();
}

void TestFileReplace::replace()
{
    QFETCH(QString, name);
    QFETCH(bool, installed);
    QFETCH(bool, stale);
    QFETCH(bool, compressed);
    QFETCH(QString, failure);
    QFETCH(QStringList, subtasks);
    QFETCH(QStringList, contentsAfter);
    QFETCH(QStringList, deleteList);

    ReplaceFixture fx;
    FileReplaceSpecification e
        = fx.entry(name, "new", compressed, failure == "md5" ? "00000000000000000000000000000000" : QString());
    if (failure == "download")
        QVERIFY(QFile::remove(fx.downloads() + "/" + e.fileName));
    QVERIFY(QDir().mkpath(QFileInfo(fx.install() + "/" + name).path()));
    if (installed)
        QVERIFY(fx.installed(name, "old"));
    if (stale && failure == "stale")
        QVERIFY(fx.installed(e.oldDestFileName() + "/x", "stale"));
    else if (stale)
        QVERIFY(fx.installed(e.oldDestFileName(), "stale"));

    QList<QString> toDelete { "earlier" };
    RollbackDataList listJournal;
    listJournal.add(RollbackData(RollbackData::CreateDir, fx.install() + "/earlier"));
    FileReplaceTaskSpecification task(e, &toDelete, &listJournal, &fx.configuration, nullptr, 1.0);
    SignalLog log;
    log.watch(&task, "t");
    QVERIFY(runTask(&task));

    QStringList kinds;
    for (TaskSpecification* sub : task.subTasks)
        kinds << QString("%1 %2").arg(sub->metaObject()->className()).arg(sub->parentProgressRange);
    QCOMPARE(kinds, subtasks);
    QCOMPARE(log.messages().value(0), "add/replace " + e.fileName);
    QCOMPARE(fx.contents(), contentsAfter);

    const QString target = fx.install() + "/" + name;
    if (failure.isEmpty()) {
        QCOMPARE(task.state, Finished);
        QCOMPARE(toDelete, QList<QString> { "earlier" } + deleteList);
        // The list journal keeps its own entries and gains this task's.
        QStringList expectedJournal { "CreateDir earlier" };
        if (installed)
            expectedJournal << "Rename " + name + " -> " + e.oldDestFileName();
        expectedJournal << "CreateFile " + name;
        QCOMPARE(journalText(listJournal, fx.install()), expectedJournal);
        QCOMPARE(journalText(task.journal, fx.install()), expectedJournal.mid(1));
    } else {
        QCOMPARE(task.state, ErrorCanceled);
        QCOMPARE(toDelete, QList<QString> { "earlier" });
        QCOMPARE(listJournal.entries.size(), 1);
        QVERIFY(task.journal.entries.isEmpty());
        QVERIFY2(readAll(target) == "old", qPrintable(target + " not restored"));
        const QString expectedText = failure == "md5"   ? "Signature check failed for " + target
                                     : failure == "stale" ? "Could not delete '" + fx.install() + "/" + e.oldDestFileName() + "'"
                                                          : "Could not copy '" + fx.downloads() + "/" + e.fileName + "' to '" + target + "'";
        QVERIFY2(log.messages().contains(expectedText), qPrintable(log.messages().join(" | ")));
        QCOMPARE(log.entries.last(), QString("t:canceled"));
    }
}

void TestFileReplace::permissions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<int>("modeAfter");
    QTest::addColumn<bool>("backupListed");

    QTest::newRow("client program") << "cvxclient_linux_x86" << true << 0755 << true;
    QTest::newRow("start script, new") << "cvxclient_runscript.sh" << false << 0755 << false;
    QTest::newRow("special library") << "libQtCore.so.4" << true << 0755 << false;
    QTest::newRow("library") << "plugins/libfoo.so" << true << 0755 << true;
    QTest::newRow("longer library version") << "libfoo.so.4.8" << true << 0640 << true;
    QTest::newRow("ordinary file") << "readme.txt" << true << 0640 << true;
    QTest::newRow("name only similar") << "update.sh" << true << 0640 << true;
}

void TestFileReplace::permissions()
{
    QFETCH(QString, name);
    QFETCH(bool, installed);
    QFETCH(int, modeAfter);
    QFETCH(bool, backupListed);

    ReplaceFixture fx;
    FileReplaceSpecification e = fx.entry(name, "new", false);
    QVERIFY(QFile::setPermissions(fx.downloads() + "/" + e.fileName,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    QVERIFY(QDir().mkpath(QFileInfo(fx.install() + "/" + name).path()));
    if (installed)
        QVERIFY(fx.installed(name, "old"));

    QList<QString> toDelete;
    RollbackDataList listJournal;
    FileReplaceTaskSpecification task(e, &toDelete, &listJournal, &fx.configuration, nullptr, 1.0);
    QVERIFY(runTask(&task));
    QCOMPARE(task.state, Finished);
    const QString target = fx.install() + "/" + name;
    QVERIFY2(readAll(target) == "new", qPrintable(target));
    QCOMPARE(QString::number(ReplaceFixture::mode(target), 8), QString::number(modeAfter, 8));
    QCOMPARE(toDelete, backupListed ? QList<QString> { e.oldDestFileName() } : QList<QString>());
}

QTEST_GUILESS_MAIN(TestFileReplace)
#include "tst_filereplace.moc"
