// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QtTest>

class TestFileSpecifications : public QObject
{
    Q_OBJECT
private slots:
    void destNames_data();
    void destNames();
    void clearEmptiesAllLists();
};

void TestFileSpecifications::destNames_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("unzipFileName");
    QTest::addColumn<bool>("hasUnzip");
    QTest::addColumn<QString>("pure");
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("prefixed");

    QTest::newRow("plain in subdir") << "plugins/libx.so" << "" << false
                                     << "plugins/libx.so" << "plugins/_old_libx.so" << "plugins/p_libx.so";
    QTest::newRow("plain at top") << "readme.txt" << "" << false
                                  << "readme.txt" << "_old_readme.txt" << "p_readme.txt";
    QTest::newRow("deep dir") << "a/b/c/d.bin" << "" << false
                              << "a/b/c/d.bin" << "a/b/c/_old_d.bin" << "a/b/c/p_d.bin";
    QTest::newRow("compressed uses unpacked name") << "data/big.pak.gz" << "data/big.pak" << true
                                                   << "data/big.pak" << "data/_old_big.pak" << "data/p_big.pak";
    QTest::newRow("compressed into other dir") << "gz/lib.so.gz" << "lib/lib.so" << true
                                               << "lib/lib.so" << "lib/_old_lib.so" << "lib/p_lib.so";
    QTest::newRow("compressed to top") << "bin/tool.gz" << "tool" << true
                                       << "tool" << "_old_tool" << "p_tool";
}

void TestFileSpecifications::destNames()
{
    QFETCH(QString, fileName);
    QFETCH(QString, unzipFileName);
    QFETCH(bool, hasUnzip);
    QFETCH(QString, pure);
    QFETCH(QString, old);
    QFETCH(QString, prefixed);

    FileReplaceSpecification spec;
    spec.dir = QStringLiteral("section");
    spec.fileName = fileName;
    spec.unzipFileName = unzipFileName;

    QCOMPARE(spec.hasUnzip(), hasUnzip);
    QCOMPARE(spec.pureDestFilePath(), pure);
    QCOMPARE(spec.destFileName(QString()), pure);
    QCOMPARE(spec.oldDestFileName(), old);
    QCOMPARE(spec.destFileName(QStringLiteral("p_")), prefixed);
}

void TestFileSpecifications::clearEmptiesAllLists()
{
    FileSpecifications specs;
    QVERIFY(specs.downloadList.isEmpty() && specs.replaceList.isEmpty() && specs.deleteList.isEmpty());
    specs.downloadList.append(FileDownloadSpecification{QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("m"), 3});
    specs.replaceList.append(FileReplaceSpecification());
    specs.deleteList.append(QStringLiteral("old.txt"));
    specs.clear();
    QVERIFY(specs.downloadList.isEmpty());
    QVERIFY(specs.replaceList.isEmpty());
    QVERIFY(specs.deleteList.isEmpty());
}

QTEST_GUILESS_MAIN(TestFileSpecifications)
#include "tst_filespecifications.moc"
