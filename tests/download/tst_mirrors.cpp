// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/randomgenerator.h"
#include "download/mirrors.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(text);
    return path;
}

// name|url|retries per record, joined by ";".
QString describe(const Mirrors& pool)
{
    QStringList parts;
    for (const FTPSiteAccessData& m : pool.mirrorList())
        parts << QStringLiteral("%1|%2|%3").arg(m.name, m.url).arg(m.retries);
    return parts.join(QLatin1Char(';'));
}

// A pool of count mirrors named m1.., each tolerating retries failures.
QByteArray poolIni(int count, int retries = 2)
{
    QByteArray ini = "[mirrors]\nsize=" + QByteArray::number(count) + "\n";
    for (int i = 1; i <= count; ++i)
        ini += QByteArray::number(i) + "\\mirror=m" + QByteArray::number(i) + "\n";
    for (int i = 1; i <= count; ++i)
        ini += "[m" + QByteArray::number(i) + "]\nurl=http://127.0.0.1/m" + QByteArray::number(i)
            + "\nretries=" + QByteArray::number(retries) + "\n";
    return ini;
}
}

class TestMirrors : public QObject
{
    Q_OBJECT
private slots:
    void readsList_data();
    void readsList();
    void retiresAfterRetriesPlusOne_data();
    void retiresAfterRetriesPlusOne();
    void emptyPoolReportsOnce_data();
    void emptyPoolReportsOnce();
    void choosesOnlyIdleMirrors();
    void allBusyLeavesOutUntouched();
    void unknownNamesAreIgnored();
    void duplicateNamesActOnFirst();
    void alpha_data();
    void alpha();
};

void TestMirrors::readsList_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trailing slash or not gives one slash")
        << QByteArray("[mirrors]\nsize=2\n1\\mirror=a\n2\\mirror=b\n"
                      "[a]\nurl=http://a.example/rel/\nretries=3\n[b]\nurl=http://b.example/rel\nretries=3\n")
        << "a|http://a.example/rel/42|3;b|http://b.example/rel/42|3";
    QTest::newRow("missing url and retries")
        << QByteArray("[mirrors]\nsize=1\n1\\mirror=a\n") << "a|/42|2";
    QTest::newRow("retries zero, negative, text, huge become 2; 5 stays")
        << QByteArray("[mirrors]\nsize=5\n1\\mirror=z\n2\\mirror=n\n3\\mirror=t\n4\\mirror=h\n5\\mirror=f\n"
                      "[z]\nretries=0\n[n]\nretries=-3\n[t]\nretries=abc\n[h]\nretries=4294967293\n[f]\nretries=5\n")
        << "z|/42|2;n|/42|2;t|/42|2;h|/42|2;f|/42|5";
    QTest::newRow("names trimmed, blank names skipped, order kept")
        << QByteArray("[mirrors]\nsize=4\n1\\mirror=\"  b  \"\n2\\mirror=\"   \"\n3\\mirror=\n4\\mirror=a\n"
                      "[b]\nurl=http://b/\n[a]\nurl=http://a\n")
        << "b|http://b/42|2;a|http://a/42|2";
    QTest::newRow("url with a comma is one url")
        << QByteArray("[mirrors]\nsize=1\n1\\mirror=a\n[a]\nurl=\"http://a/x,y\"\n") << "a|http://a/x,y/42|2";
    QTest::newRow("size 0") << QByteArray("[mirrors]\nsize=0\n1\\mirror=a\n[a]\nurl=http://a\n") << "";
    QTest::newRow("no file content") << QByteArray() << "";
    QTest::newRow("huge size reads the entries present, in index order")
        << QByteArray("[mirrors]\nsize=2000000000\n1999999999\\mirror=z\n10\\mirror=x\n2\\mirror=y\n")
        << "y|/42|2;x|/42|2;z|/42|2";
    QTest::newRow("entries past size are not read")
        << QByteArray("[mirrors]\nsize=2\n1\\mirror=a\n3\\mirror=c\n") << "a|/42|2";
}

void TestMirrors::readsList()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    QVERIFY(pool.initDefault(writeFile(dir, "mirrors.ini", ini), 42));
    QCOMPARE(describe(pool), expected);
    for (const FTPSiteAccessData& m : pool.mirrorList()) {
        QCOMPARE(m.timeoutTicks, 15);
        QCOMPARE(m.maxConnections, 1);
        QCOMPARE(m.activeConnections, 0);
        QCOMPARE(m.errorCount, 0);
    }
}

void TestMirrors::retiresAfterRetriesPlusOne_data()
{
    QTest::addColumn<int>("retries");
    QTest::newRow("default 2") << 2;
    QTest::newRow("5") << 5;
}

void TestMirrors::retiresAfterRetriesPlusOne()
{
    QFETCH(int, retries);
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini", poolIni(2, retries)), 1);
    QSignalSpy messages(&pool, SIGNAL(message(QString)));
    for (int i = 0; i < retries; ++i)
        pool.addMirrorError("m2");
    QCOMPARE(pool.getMirrorIndex("m2"), 1);
    QCOMPARE(pool.mirrorList().at(1).errorCount, retries);
    QCOMPARE(messages.count(), 0);
    pool.addMirrorError("m2");
    QCOMPARE(pool.getMirrorIndex("m2"), -1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QString("Mirror m2 failed too many times, removing"));
    // A second report from a transfer that still held the mirror.
    pool.addMirrorError("m2");
    QCOMPARE(messages.count(), 1);
    QCOMPARE(describe(pool), QString("m1|http://127.0.0.1/m1/1|%1").arg(retries));
}

void TestMirrors::emptyPoolReportsOnce_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("toRemove");
    QTest::newRow("size 0") << QByteArray("[mirrors]\nsize=0\n") << 0;
    QTest::newRow("only blank names") << QByteArray("[mirrors]\nsize=2\n1\\mirror=\" \"\n2\\mirror=\n") << 0;
    QTest::newRow("all retired") << poolIni(2) << 2;
}

void TestMirrors::emptyPoolReportsOnce()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, toRemove);
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini", ini), 1);
    for (int i = 1; i <= toRemove; ++i)
        pool.removeMirror(QStringLiteral("m%1").arg(i));
    QSignalSpy messages(&pool, SIGNAL(message(QString)));
    FTPSiteAccessData out;
    out.name = "untouched";
    QCOMPARE(pool.getRandomMirror(out), 1);
    QCOMPARE(pool.getRandomMirror(out), 1);
    QCOMPARE(pool.getRandomMirror(out), 1);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QString("There are no (more) known working mirrors available"));
    QCOMPARE(out.name, QString("untouched"));
}

void TestMirrors::choosesOnlyIdleMirrors()
{
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini", poolIni(4)), 3);
    RandomGenerator::seed(12345);
    FTPSiteAccessData busy;
    // Make m3 busy by drawing until it is handed out, giving back the others.
    for (;;) {
        QCOMPARE(pool.getRandomMirror(busy), 0);
        if (busy.name == "m3")
            break;
        pool.releaseMirror(busy.name);
    }
    QHash<QString, int> chosen;
    for (int i = 0; i < 300; ++i) {
        FTPSiteAccessData out;
        QCOMPARE(pool.getRandomMirror(out), 0);
        QVERIFY2(out.name != "m3", "a busy mirror was handed out");
        QCOMPARE(out.activeConnections, 1);
        QCOMPARE(out.url, QString("http://127.0.0.1/%1/3").arg(out.name));
        chosen[out.name] += 1;
        pool.releaseMirror(out.name);
    }
    QCOMPARE(chosen.size(), 3);
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it)
        QVERIFY2(it.value() > 50, qPrintable(QString("%1 chosen only %2 times").arg(it.key()).arg(it.value())));
    int slotCount = -1, inUse = -1;
    pool.calcUseStats(slotCount, inUse);
    QCOMPARE(slotCount, 4);
    QCOMPARE(inUse, 1);
}

void TestMirrors::allBusyLeavesOutUntouched()
{
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini", poolIni(4)), 3);
    QSignalSpy messages(&pool, SIGNAL(message(QString)));
    QSet<QString> names;
    for (int i = 0; i < 4; ++i) {
        FTPSiteAccessData out;
        QCOMPARE(pool.getRandomMirror(out), 0);
        names.insert(out.name);
    }
    QCOMPARE(names.size(), 4);
    FTPSiteAccessData out;
    out.name = "untouched";
    out.errorCount = 77;
    QCOMPARE(pool.getRandomMirror(out), 2);
    QCOMPARE(out.name, QString("untouched"));
    QCOMPARE(out.errorCount, 77);
    QCOMPARE(messages.count(), 0);
    pool.releaseMirror("m2");
    QCOMPARE(pool.getRandomMirror(out), 0);
    QCOMPARE(out.name, QString("m2"));
}

void TestMirrors::unknownNamesAreIgnored()
{
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini", poolIni(2)), 3);
    const QString before = describe(pool);
    QSignalSpy messages(&pool, SIGNAL(message(QString)));
    for (int i = 0; i < 5; ++i) {
        pool.addMirrorError("nope");
        pool.releaseMirror("nope");
        pool.removeMirror("nope");
        pool.addMirrorError(QString());
    }
    QCOMPARE(describe(pool), before);
    QCOMPARE(pool.getMirrorIndex("M1"), -1);
    QCOMPARE(messages.count(), 0);
    int slotCount = 0, inUse = 0;
    pool.calcUseStats(slotCount, inUse);
    QCOMPARE(inUse, 0);
}

void TestMirrors::duplicateNamesActOnFirst()
{
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    pool.initDefault(writeFile(dir, "mirrors.ini",
                               "[mirrors]\nsize=2\n1\\mirror=a\n2\\mirror=a\n[a]\nurl=http://a\nretries=1\n"),
                     9);
    QCOMPARE(describe(pool), QString("a|http://a/9|1;a|http://a/9|1"));
    pool.addMirrorError("a");
    QCOMPARE(pool.mirrorList().at(0).errorCount, 1);
    QCOMPARE(pool.mirrorList().at(1).errorCount, 0);
    pool.removeMirror("a");
    QCOMPARE(pool.mirrorList().size(), 1);
}

void TestMirrors::alpha_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected");
    QTest::newRow("url without slash") << QByteArray("[Channel]\nalpha=http://alpha/tree\n") << true
                                       << "Alpha Channel|http://alpha/tree/7|4";
    QTest::newRow("url with slash") << QByteArray("[Channel]\nalpha=http://alpha/tree/\n") << true
                                    << "Alpha Channel|http://alpha/tree/7|4";
    QTest::newRow("missing") << QByteArray("[Channel]\nbeta=x\n") << false << "";
    QTest::newRow("empty") << QByteArray("[Channel]\nalpha=\n") << false << "";
}

void TestMirrors::alpha()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    Mirrors pool(nullptr);
    QSignalSpy fatal(&pool, SIGNAL(fatalError(QString)));
    QCOMPARE(pool.initAlpha(writeFile(dir, "update.ini", ini), 7), ok);
    QCOMPARE(describe(pool), expected);
    if (ok) {
        QCOMPARE(fatal.count(), 0);
        QCOMPARE(pool.mirrorList().at(0).timeoutTicks, 15);
        QCOMPARE(pool.mirrorList().at(0).maxConnections, 1);
    } else {
        QCOMPARE(fatal.count(), 1);
        QCOMPARE(fatal.at(0).at(0).toString(),
                 QString("Alpha parameter in channel section in update ini file not found"));
    }
}

QTEST_GUILESS_MAIN(TestMirrors)
#include "tst_mirrors.moc"
