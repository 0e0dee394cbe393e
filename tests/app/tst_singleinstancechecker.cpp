// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "app/singleinstancechecker.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// Where the local-socket facility keeps a name without a directory part.
QString socketPath(const QString& name)
{
    return QDir::tempPath() + "/" + name;
}

// Leaves a socket entry behind the way an updater that was killed does: bound,
// never unlinked, nobody listening any more.
bool leaveStaleEntry(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= int(sizeof(address.sun_path))) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
        && ::listen(fd, 1) == 0;
    ::close(fd);
    return bound;
}

// Sends raw bytes as one connection and closes it.
void sendRaw(const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(SingleInstanceChecker::getLocalServerName());
    QVERIFY(socket.waitForConnected(1000));
    if (!bytes.isEmpty()) {
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(1000));
    }
    socket.disconnectFromServer();
}

} // namespace

class TestSingleInstanceChecker : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void checksumIsTheX25Crc();
    void serverName_data();
    void serverName();
    void noInstanceMeansNoDelivery();
    void deliversMessage_data();
    void deliversMessage();
    void emptyConnectionIsHeldWithoutSignal();
    void staleEntryIsTakenOver();
    void liveHolderIsLeftAlone();
};

void TestSingleInstanceChecker::init()
{
    QLocalServer::removeServer(SingleInstanceChecker::getLocalServerName());
}

void TestSingleInstanceChecker::cleanup()
{
    QLocalServer::removeServer(SingleInstanceChecker::getLocalServerName());
}

void TestSingleInstanceChecker::checksumIsTheX25Crc()
{
    QCOMPARE(qChecksum(QByteArrayView("123456789")), quint16(0x906e));
}

void TestSingleInstanceChecker::serverName_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("otherExe");
    QTest::addColumn<QString>("otherHome");
    QTest::addColumn<bool>("same");

    QTest::newRow("exe path case ignored") << "/opt/App/update" << "/home/User"
                                           << "/OPT/app/UPDATE" << "/home/User" << true;
    QTest::newRow("home case matters") << "/opt/App/update" << "/home/User"
                                       << "/opt/App/update" << "/home/user" << false;
    QTest::newRow("other installation") << "/opt/App/update" << "/home/User"
                                        << "/opt/App2/update" << "/home/User" << false;
    QTest::newRow("other user") << "/opt/App/update" << "/home/User"
                                << "/opt/App/update" << "/home/Other" << false;
    QTest::newRow("slashes and colons dropped") << "/opt/App/update" << "/home/User"
                                                << "/opt:App//update" << "/home/:User" << true;
}

void TestSingleInstanceChecker::serverName()
{
    QFETCH(QString, exe);
    QFETCH(QString, home);
    QFETCH(QString, otherExe);
    QFETCH(QString, otherHome);
    QFETCH(bool, same);
    QCOMPARE(SingleInstanceChecker::serverNameFor("/opt/App/update", "/home/User"),
             QString("CVXClientUpdate2a77"));
    QCOMPARE(SingleInstanceChecker::serverNameFor(exe, home) == SingleInstanceChecker::serverNameFor(otherExe, otherHome),
             same);
    // Lower-case hex without leading zeros.
    QVERIFY(QRegularExpression("^CVXClientUpdate[1-9a-f][0-9a-f]{0,3}$")
                .match(SingleInstanceChecker::serverNameFor(otherExe, otherHome)).hasMatch());
    QCOMPARE(SingleInstanceChecker::getLocalServerName(),
             SingleInstanceChecker::serverNameFor(QCoreApplication::applicationFilePath(), QDir::homePath()));
}

void TestSingleInstanceChecker::noInstanceMeansNoDelivery()
{
    QVERIFY(!QFileInfo::exists(socketPath(SingleInstanceChecker::getLocalServerName())));
    QVERIFY(!SingleInstanceChecker::checkExistingInstance("#"));
}

void TestSingleInstanceChecker::deliversMessage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("activation") << QByteArray("#") << "#";
    QTest::newRow("cut at NUL") << QByteArray("#\0trailing", 10) << "#";
    QTest::newRow("other text passed on") << QByteArray("hello") << "hello";
    QTest::newRow("8-bit") << QByteArray("caf\xe9") << QString::fromLatin1("caf\xe9");
}

void TestSingleInstanceChecker::deliversMessage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    SingleInstanceChecker checker(nullptr);
    QVERIFY(checker.isListening());
    QSignalSpy spy(&checker, SIGNAL(otherInstanceActivate(QString)));
    if (bytes == "#")
        QVERIFY(SingleInstanceChecker::checkExistingInstance("#"));
    else
        sendRaw(bytes);
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), message);

    // The next connection is served as well.
    QVERIFY(SingleInstanceChecker::checkExistingInstance("#"));
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), QString("#"));
}

void TestSingleInstanceChecker::emptyConnectionIsHeldWithoutSignal()
{
    SingleInstanceChecker checker(nullptr);
    QSignalSpy spy(&checker, SIGNAL(otherInstanceActivate(QString)));
    sendRaw(QByteArray());
    QTest::qWait(200);
    QCOMPARE(spy.count(), 0);
    // A later sender replaces the silent connection and gets through.
    QVERIFY(SingleInstanceChecker::checkExistingInstance("#"));
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.at(0).at(0).toString(), QString("#"));
}

void TestSingleInstanceChecker::staleEntryIsTakenOver()
{
    const QString name = SingleInstanceChecker::getLocalServerName();
    const QString path = socketPath(name);
    QVERIFY2(leaveStaleEntry(path), qPrintable(path));
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QVERIFY(!SingleInstanceChecker::checkExistingInstance("#"));

    SingleInstanceChecker checker(nullptr);
    QVERIFY2(checker.isListening(), "the stale entry switched the guard off");
    QSignalSpy spy(&checker, SIGNAL(otherInstanceActivate(QString)));
    QVERIFY(SingleInstanceChecker::checkExistingInstance("#"));
    QVERIFY(spy.wait(2000));
    QCOMPARE(spy.at(0).at(0).toString(), QString("#"));
}

void TestSingleInstanceChecker::liveHolderIsLeftAlone()
{
    QLocalServer holder;
    QVERIFY(holder.listen(SingleInstanceChecker::getLocalServerName()));
    {
        SingleInstanceChecker checker(nullptr);
        QVERIFY(!checker.isListening());
    }
    // The running instance still owns the name and still receives messages.
    QVERIFY(holder.isListening());
    QVERIFY(SingleInstanceChecker::checkExistingInstance("#"));
    QByteArray received;
    QTRY_VERIFY(holder.hasPendingConnections() || !received.isEmpty());
    // First pending one is the checker's probe (silent), the last carries "#".
    QLocalSocket* last = nullptr;
    while (QLocalSocket* next = holder.nextPendingConnection())
        last = next;
    QVERIFY(last);
    QTRY_VERIFY(last->bytesAvailable() > 0 || last->waitForReadyRead(100));
    QCOMPARE(last->readAll(), QByteArray("#"));
}

QTEST_GUILESS_MAIN(TestSingleInstanceChecker)
#include "tst_singleinstancechecker.moc"
