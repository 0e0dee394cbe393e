// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/updatechecker.h"
#include "testlib/versionserviceprocess.h"

#include <QtTest>

typedef QList<QPair<QString, QString> > VersionList;
Q_DECLARE_METATYPE(VersionList)

namespace {

QPair<QString, QString> entry(const QString& number, const QString& text = QString())
{
    return qMakePair(number, text);
}

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT
private slots:
    void parseVersionList_data();
    void parseVersionList();
    void entryByChannel_data();
    void entryByChannel();
    void exchange_data();
    void exchange();
    void failedQuery_data();
    void failedQuery();
    void repeatedQueryDoesNotAccumulate();
};

void TestUpdateChecker::parseVersionList_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<VersionList>("expected");

    QTest::newRow("three channels")
        << QByteArray("100#3.0.1,101#3.0.2-beta,102")
        << (VersionList() << entry("100", "3.0.1") << entry("101", "3.0.2-beta") << entry("102"));
    QTest::newRow("empty entries kept")
        << QByteArray(",,102#x") << (VersionList() << entry("") << entry("") << entry("102", "x"));
    QTest::newRow("version text keeps later hashes")
        << QByteArray("100#a#b") << (VersionList() << entry("100", "a#b"));
    QTest::newRow("no comma") << QByteArray("100") << (VersionList() << entry("100"));
    QTest::newRow("empty reply") << QByteArray() << (VersionList() << entry(""));
    QTest::newRow("trailing comma")
        << QByteArray("100,") << (VersionList() << entry("100") << entry(""));
    QTest::newRow("hash with empty version text")
        << QByteArray("100#") << (VersionList() << entry("100", ""));
    QTest::newRow("no trimming")
        << QByteArray(" 100 # x ") << (VersionList() << entry(" 100 ", " x "));
    QTest::newRow("text ends at NUL")
        << QByteArray("100#a,101\0,102", 14) << (VersionList() << entry("100", "a") << entry("101"));
    QTest::newRow("NUL first") << QByteArray("\0" "100,101", 8) << (VersionList() << entry(""));
    QTest::newRow("latin-1 bytes")
        << QByteArray("100#caf\xe9") << (VersionList() << entry("100", QString::fromLatin1("caf\xe9")));
}

void TestUpdateChecker::parseVersionList()
{
    QFETCH(QByteArray, reply);
    QFETCH(VersionList, expected);
    const VersionList actual = UpdateChecker::parseVersionList(reply);
    QCOMPARE(actual, expected);
    // An entry without "#" has a null version text, one with "#" never has.
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(actual.at(i).second.isNull(), expected.at(i).second.isNull());
}

void TestUpdateChecker::entryByChannel_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("textNull");

    QTest::newRow("alpha without text") << QByteArray("100#3.0.1,101#3.0.2-beta,102") << int(AlphaChannel) << "102" << "" << true;
    QTest::newRow("beta") << QByteArray("100#3.0.1,101#3.0.2-beta,102") << int(BetaChannel) << "101" << "3.0.2-beta" << false;
    QTest::newRow("beta missing") << QByteArray("100#3.0.1") << int(BetaChannel) << "" << "" << true;
    QTest::newRow("stable empty") << QByteArray(",,102#x") << int(StableChannel) << "" << "" << true;
}

void TestUpdateChecker::entryByChannel()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, channel);
    QFETCH(QString, number);
    QFETCH(QString, text);
    QFETCH(bool, textNull);
    UpdateChecker checker("127.0.0.1");
    checker.m_versions = UpdateChecker::parseVersionList(reply);
    const QPair<QString, QString> got = checker.getClientVersionByChannel(UpdateChannel(channel));
    QCOMPARE(got.first, number);
    QCOMPARE(got.second, text);
    QCOMPARE(got.second.isNull(), textNull);
}

// Real exchanges with the reference service: request bytes, read limits, NULs.
void TestUpdateChecker::exchange_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<VersionList>("versions");
    QTest::addColumn<QString>("news");

    QTest::newRow("plain")
        << (QStringList() << "--versions" << "100#3.0.1,101#3.0.2-beta,102" << "--news" << "Hello <b>world</b>")
        << (VersionList() << entry("100", "3.0.1") << entry("101", "3.0.2-beta") << entry("102"))
        << "Hello <b>world</b>";
    QTest::newRow("empty replies")
        << (QStringList() << "--versions" << "" << "--news" << "")
        << (VersionList() << entry("")) << "";

    // 508 bytes before the third entry leave room for three of its six digits.
    const QString padding(503, 'x');
    QTest::newRow("version list cut at 511 bytes")
        << (QStringList() << "--versions" << "1#" + padding + ",2,345678" << "--news" << "n")
        << (VersionList() << entry("1", padding) << entry("2") << entry("345"))
        << "n";
    const QString longNews = QString(4000, 'a') + QString(1000, 'b');
    QTest::newRow("news cut at 4095 bytes")
        << (QStringList() << "--versions" << "7" << "--news" << longNews)
        << (VersionList() << entry("7")) << longNews.left(4095);
    QTest::newRow("NUL inside both replies")
        << (QStringList() << "--versions-hex" << QByteArray("100,101\0,102", 12).toHex()
                          << "--news-hex" << QByteArray("news\0hidden", 11).toHex())
        << (VersionList() << entry("100") << entry("101")) << "news";
}

void TestUpdateChecker::exchange()
{
    QFETCH(QStringList, options);
    QFETCH(VersionList, versions);
    QFETCH(QString, news);

    VersionServiceProcess service("127.0.2.31");
    QVERIFY2(service.start(options), "versionservice did not start on 127.0.2.31");
    UpdateChecker checker(service.address());
    QVERIFY(checker.checkUpdate());
    QCOMPARE(checker.m_versions, versions);
    QCOMPARE(checker.m_news, news);
    // Exactly the two 2-byte requests, in order.
    QCOMPARE(service.settledDatagrams(), QStringList() << "17384 3300" << "17384 2a00");
}

void TestUpdateChecker::failedQuery_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("requests");

    QTest::newRow("no host") << "" << QStringList() << QStringList();
    QTest::newRow("version request unanswered")
        << "127.0.2.32" << (QStringList() << "--no-versions" << "--news" << "n")
        << (QStringList() << "17384 3300");
    QTest::newRow("news request unanswered")
        << "127.0.2.32" << (QStringList() << "--versions" << "100" << "--no-news")
        << (QStringList() << "17384 3300" << "17384 2a00");
}

void TestUpdateChecker::failedQuery()
{
    QFETCH(QString, host);
    QFETCH(QStringList, options);
    QFETCH(QStringList, requests);

    VersionServiceProcess service("127.0.2.32");
    QVERIFY2(service.start(options), "versionservice did not start on 127.0.2.32");
    UpdateChecker checker(host);
    QVERIFY(!checker.checkUpdate());
    QVERIFY(checker.m_versions.isEmpty());
    QCOMPARE(service.settledDatagrams(), requests);
}

void TestUpdateChecker::repeatedQueryDoesNotAccumulate()
{
    VersionServiceProcess service("127.0.2.33");
    QVERIFY(service.start(QStringList() << "--versions" << "100,101,102" << "--news" << "n"));
    UpdateChecker checker(service.address());
    QVERIFY(checker.checkUpdate());
    QVERIFY(checker.checkUpdate());
    QCOMPARE(checker.m_versions.size(), 3);
    QCOMPARE(checker.getClientVersionByChannel(AlphaChannel).first, QString("102"));
}

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
