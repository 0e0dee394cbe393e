// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
// The real `update` executable, copied into temporary installations.
#include "app/singleinstancechecker.h"
#include "testlib/versionserviceprocess.h"

#include <QLocalServer>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

// A temporary installation holding a copy of the updater and an update.ini.
class Installation
{
public:
    explicit Installation(const QByteArray& ini)
    {
        m_exe = m_dir.path() + "/update";
        QVERIFY2(QFile::copy(UPDATE_EXE, m_exe), qPrintable(m_exe));
        QFile::setPermissions(m_exe, QFile::permissions(m_exe) | QFile::ExeOwner);
        writeFile(m_dir.path() + "/update.ini", ini);
        QLocalServer::removeServer(serverName());
    }
    ~Installation() { QLocalServer::removeServer(serverName()); }

    QString root() const { return m_dir.path(); }
    QString exe() const { return m_exe; }
    QString serverName() const { return SingleInstanceChecker::serverNameFor(m_exe, QDir::homePath()); }

    void start(QProcess& process, const QStringList& args) const
    {
        process.setProgram(m_exe);
        process.setArguments(args);
        process.setWorkingDirectory(QDir::rootPath());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        QVERIFY2(process.waitForStarted(5000), qPrintable(m_exe));
    }
    // Runs to the end; -1 when it did not end in time.
    int run(const QStringList& args, int timeoutMs = 10000) const
    {
        QProcess process;
        start(process, args);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

private:
    QTemporaryDir m_dir;
    QString m_exe;
};

QByteArray serverIni(const char* address, const QByteArray& more = QByteArray())
{
    return "[update]\nserver=" + QByteArray(address) + "\n" + more;
}

void killAndWait(QProcess& process)
{
    process.kill();
    process.waitForFinished(5000);
}

} // namespace

class TestUpdate : public QObject
{
    Q_OBJECT
private slots:
    void exitCodes_data();
    void exitCodes();
    void housekeeping();
    void secondInstanceHandsOver();
    void guardSurvivesKilledUpdater();
    void versionOfTheUsersChannel_data();
    void versionOfTheUsersChannel();
};

void TestUpdate::exitCodes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("type and version") << QStringList{"client_linux_x86", "1234"} << 0;
    QTest::newRow("unattended with version") << QStringList{"--nouser", "client_linux_x86", "1234", "#", "n"} << 0;
    QTest::newRow("invalid version") << QStringList{"client_linux_x86", "12a"} << 1;
    QTest::newRow("unattended invalid version") << QStringList{"--nouser", "client_linux_x86", "v2"} << 1;
}

void TestUpdate::exitCodes()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    // No service runs at this address: any query would hang on the retry box.
    Installation installation(serverIni("127.0.2.41"));
    QCOMPARE(installation.run(args), exitCode);
}

void TestUpdate::housekeeping()
{
    Installation installation(serverIni("127.0.2.42"));
    const QString root = installation.root();
    const QStringList removed{"_old_libQtGui.so.4", "_old_update", "imageformats/_old_libqjpeg.so",
                              "accessible/_old_libqtaccessiblewidgets.so", "accessible/_old_libqgif.so"};
    const QStringList kept{"libQtGui.so.4", "_old_notspecial", "_old_libQtCore.so.4.8", "other/_old_libQtGui.so.4",
                           "imageformats/sub/_old_libqjpeg.so", "_old_Update"};
    for (const QString& name : removed + kept)
        writeFile(root + "/" + name, "x");
    QCOMPARE(installation.run(QStringList{"client_linux_x86", "1234"}), 0);
    for (const QString& name : removed)
        QVERIFY2(!QFileInfo::exists(root + "/" + name), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(QFileInfo(root + "/" + name).isFile(), qPrintable(name));
    QVERIFY2(QFileInfo(installation.exe()).isFile(), "the updater itself is not a backup");
}

// The first updater is kept busy in its version query (the service does not
// answer) while a second one starts.
void TestUpdate::secondInstanceHandsOver()
{
    VersionServiceProcess service("127.0.2.43");
    QVERIFY(service.start(QStringList{"--no-versions"}));
    Installation installation(serverIni("127.0.2.43"));

    QProcess first;
    installation.start(first, QStringList());
    QVERIFY2(service.waitForDatagrams(1), "the first updater never asked for the version");

    // Written after the first updater's housekeeping: the second one removes it
    // before it hands over.
    writeFile(installation.root() + "/_old_libQtGui.so.4", "x");
    QCOMPARE(installation.run(QStringList(), 4000), 0);
    QVERIFY(!QFileInfo::exists(installation.root() + "/_old_libQtGui.so.4"));
    QVERIFY2(!first.waitForFinished(100), "the first updater ended instead of waiting");
    killAndWait(first);
    // The second updater asked nobody.
    QCOMPARE(service.settledDatagrams(), QStringList{"17384 3300"});
}

void TestUpdate::guardSurvivesKilledUpdater()
{
    VersionServiceProcess service("127.0.2.44");
    QVERIFY(service.start(QStringList{"--no-versions"}));
    Installation installation(serverIni("127.0.2.44"));
    const QString entry = QDir::tempPath() + "/" + installation.serverName();

    QProcess dead;
    installation.start(dead, QStringList());
    QVERIFY(service.waitForDatagrams(1));
    killAndWait(dead);
    QVERIFY2(QFileInfo::exists(entry), qPrintable("no leftover entry " + entry));

    QProcess second;
    installation.start(second, QStringList());
    QVERIFY(service.waitForDatagrams(2));
    // A third start finds the second one and hands over.
    QCOMPARE(installation.run(QStringList(), 4000), 0);
    QVERIFY2(!second.waitForFinished(100), "the second updater ended instead of waiting");
    killAndWait(second);
    QCOMPARE(service.settledDatagrams(), QStringList() << "17384 3300" << "17384 3300");
}

// Every entry but the user's channel's is unusable, so the exit code tells
// which entry was taken.
void TestUpdate::versionOfTheUsersChannel_data()
{
    QTest::addColumn<QByteArray>("channelIni");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("stable") << QByteArray() << "100#3.0,x,x" << QStringList() << 0;
    QTest::newRow("stable, bad entry") << QByteArray() << "x,101,102" << QStringList() << 1;
    QTest::newRow("beta") << QByteArray("[Channel]\nbeta=1\n") << "x,101#b,x" << QStringList() << 0;
    QTest::newRow("beta, bad entry") << QByteArray("[Channel]\nbeta=1\n") << "100,x,102" << QStringList() << 1;
    QTest::newRow("alpha") << QByteArray("[Channel]\nalpha=http://a.example\nbeta=1\n") << "x,x,102"
                           << QStringList() << 0;
    QTest::newRow("alpha, bad entry") << QByteArray("[Channel]\nalpha=http://a.example\n") << "100,101,x"
                                      << QStringList() << 1;
    QTest::newRow("no entry for the channel") << QByteArray("[Channel]\nbeta=1\n") << "100" << QStringList() << 1;
    QTest::newRow("unattended") << QByteArray("[Channel]\nbeta=1\n") << "x,101,x" << QStringList{"--nouser"} << 0;
}

void TestUpdate::versionOfTheUsersChannel()
{
    QFETCH(QByteArray, channelIni);
    QFETCH(QString, reply);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);

    VersionServiceProcess service("127.0.2.45");
    QVERIFY(service.start(QStringList{"--versions", reply, "--news", "n"}));
    Installation installation(serverIni("127.0.2.45", channelIni));
    QCOMPARE(installation.run(args), exitCode);
    QCOMPARE(service.settledDatagrams(), QStringList() << "17384 3300" << "17384 2a00");
}

QTEST_GUILESS_MAIN(TestUpdate)
#include "tst_update.moc"
