// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/randomgenerator.h"
#include "download/downloadtaskspecification.h"
#include "download/mirrors.h"
#include "testlib/signalrecorder.h"
#include "testlib/testhttpserver.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const int Version = 5;
const QString Remote = QStringLiteral("data/file.bin");

QByteArray pattern(int size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char(seed + i % 251);
    return data;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Seeds the generator so the pool hands out the mirrors at the given list
// positions in turn (each draw over the mirrors idle at that moment).
void seedForChoices(const QList<QPair<int, int>>& choiceAndIdleCount)
{
    for (unsigned int seed = 1; seed < 100000; ++seed) {
        RandomGenerator::seed(seed);
        bool match = true;
        for (const auto& c : choiceAndIdleCount)
            match = match && RandomGenerator::next() % c.second == c.first;
        if (match) {
            RandomGenerator::seed(seed);
            return;
        }
    }
    qFatal("no seed found");
}
}

// One test HTTP server on its own loopback address serves every mirror
// "m<i>" under the path "/m<i>/<version>/".
class Fixture
{
public:
    Fixture(int address, int mirrorCount, int retries = 2)
    {
        if (!dir.isValid() || !server.listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(address))))
            qFatal("fixture setup failed");
        QByteArray ini = "[mirrors]\nsize=" + QByteArray::number(mirrorCount) + "\n";
        for (int i = 1; i <= mirrorCount; ++i)
            ini += QByteArray::number(i) + "\\mirror=m" + QByteArray::number(i) + "\n";
        for (int i = 1; i <= mirrorCount; ++i)
            ini += "[m" + QByteArray::number(i) + "]\nurl=" + server.url(QStringLiteral("/m%1").arg(i)).toLatin1()
                + "\nretries=" + QByteArray::number(retries) + "\n";
        QFile file(dir.filePath("mirrors.ini"));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write mirrors.ini");
        file.write(ini);
        file.close();
        pool.initDefault(dir.filePath("mirrors.ini"), Version);
        QObject::connect(&pool, &Mirrors::message, [this](const QString& text) {
            recorder.log << QStringLiteral("pool message ") + text;
        });
    }

    // Path on the server of the remote file on mirror i.
    static QString path(int mirror, const QString& remote = Remote)
    {
        return QStringLiteral("/m%1/%2/%3").arg(mirror).arg(Version).arg(remote);
    }
    QString url(int mirror, const QString& remote = Remote) const { return server.url(path(mirror, remote)); }
    QString local(const QString& name = QStringLiteral("file.bin")) const { return dir.filePath(name); }

    DownloadTaskSpecification* makeTask(qint64 expectedSize, const QString& remote = Remote,
                                        const QString& name = QStringLiteral("t"))
    {
        auto* task = new DownloadTaskSpecification(&manager, &pool, remote, local(QFileInfo(remote).fileName()),
                                                   expectedSize, &owner, 0.5);
        recorder.watch(task, name);
        return task;
    }

    int inUse() const
    {
        int slotCount = 0, used = 0;
        pool.calcUseStats(slotCount, used);
        return used;
    }

    QTemporaryDir dir;
    TestHttpServer server;
    QNetworkAccessManager manager;
    Mirrors pool{nullptr};
    SignalRecorder recorder;
    QObject owner;
};

static bool waitEnded(TaskSpecification* task, int ms = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (task->state == Running && timer.elapsed() < ms)
        QTest::qWait(5);
    return task->state != Running;
}

class TestDownloadTask : public QObject
{
    Q_OBJECT
private slots:
    void wholeBodyFinishes_data();
    void wholeBodyFinishes();
    void statusRetiresMirror_data();
    void statusRetiresMirror();
    void exhaustedPoolReportsOnceAndCancels();
    void stallIsChargedAfterFifteenTicks();
    void shortBodyFinishes_data();
    void shortBodyFinishes();
    void truncatedBodyIsRetried();
    void corruptBodyIsLeftToTheChecksum();
    void longBodyIsCutOffAndCharged_data();
    void longBodyIsCutOffAndCharged();
    void secondTransferWaitsForFreeMirror();
    void cancelDeletesPartialFile_data();
    void cancelDeletesPartialFile();
    void uncreatableFileCancels();
};

void TestDownloadTask::wholeBodyFinishes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<bool>("progressBeforeEnd");
    QTest::newRow("whole, size known") << int(TestHttpServer::Whole) << qint64(20000) << true;
    QTest::newRow("slow, size learnt") << int(TestHttpServer::Slow) << qint64(-1) << true;
    QTest::newRow("slow") << int(TestHttpServer::Slow) << qint64(20000) << true;
    QTest::newRow("chunked, size unknown") << int(TestHttpServer::Chunked) << qint64(-1) << false;
    QTest::newRow("no length, size unknown") << int(TestHttpServer::NoContentLength) << qint64(-1) << false;
}

void TestDownloadTask::wholeBodyFinishes()
{
    QFETCH(int, mode);
    QFETCH(qint64, expectedSize);
    QFETCH(bool, progressBeforeEnd);
    Fixture f(11, 1);
    const QByteArray body = pattern(20000, 'a');
    TestHttpServer::Route route = TestHttpServer::Route::whole(body);
    route.mode = TestHttpServer::Mode(mode);
    route.pieceSize = 3000;
    // Qt reports the announced size at most every 150 ms.
    route.intervalMs = expectedSize < 0 ? 60 : 5;
    f.server.setRoute(Fixture::path(1), route);
    DownloadTaskSpecification* task = f.makeTask(expectedSize);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(f.local()) == body, qPrintable(f.local()));
    QCOMPARE(task->servingMirror().name, QString("m1"));
    QCOMPARE(f.inUse(), 0);
    const QStringList progress = f.recorder.lines({"updateProgress"});
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), QString("t updateProgress 0.5"));
    bool partial = false;
    for (const QString& line : progress)
        partial = partial || (line != "t updateProgress 0" && line != "t updateProgress 0.5");
    QVERIFY2(partial == progressBeforeEnd, qPrintable(progress.join(", ")));
    QCOMPARE(f.recorder.withoutProgress(),
             QStringList({"t message Downloading data/file.bin", "t message Downloading data/file.bin finished",
                          "t finished"}));
}

void TestDownloadTask::statusRetiresMirror_data()
{
    QTest::addColumn<TestHttpServer::Route>("bad");
    QTest::addColumn<QString>("reason");
    QTest::newRow("404") << TestHttpServer::Route::withStatus(404, "gone") << "%1 returned 404";
    QTest::newRow("500") << TestHttpServer::Route::withStatus(500) << "%1 returned 500";
    QTest::newRow("301 not followed") << TestHttpServer::Route::redirect("/trap") << "%1 returned 301";
    QTest::newRow("302 not followed") << TestHttpServer::Route::redirect("/trap", 302) << "%1 returned 302";
    QTest::newRow("307 not followed") << TestHttpServer::Route::redirect("/trap", 307) << "%1 returned 307";
    QTest::newRow("401 challenge") << TestHttpServer::Route::authChallenge() << "%1 returned 401";
}

void TestDownloadTask::statusRetiresMirror()
{
    QFETCH(TestHttpServer::Route, bad);
    QFETCH(QString, reason);
    Fixture f(12, 2);
    const QByteArray body = pattern(5000, 'k');
    f.server.setRoute(Fixture::path(1), bad);
    f.server.setRoute(Fixture::path(2), TestHttpServer::Route::whole(body));
    f.server.setRoute("/trap", TestHttpServer::Route::whole("trap"));
    seedForChoices({{0, 2}});
    DownloadTaskSpecification* task = f.makeTask(5000);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(f.local()) == body, qPrintable(f.local()));
    QCOMPARE(f.server.requestLog(), QStringList({Fixture::path(1), Fixture::path(2)}));
    QCOMPARE(f.pool.getMirrorIndex("m1"), -1);
    QCOMPARE(f.pool.mirrorList().size(), 1);
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 0);
    QCOMPARE(task->servingMirror().name, QString("m2"));
    QCOMPARE(f.inUse(), 0);
    const QStringList log = f.recorder.withoutProgress();
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.at(0), QString("t message Downloading data/file.bin"));
    if (!reason.isEmpty())
        QCOMPARE(log.at(1), "t message " + reason.arg(f.url(1)));
    else
        QVERIFY2(log.at(1).startsWith("t message ") && log.at(1).contains(Fixture::path(1)), qPrintable(log.at(1)));
    QCOMPARE(log.mid(2), QStringList({"t message Downloading data/file.bin finished", "t finished"}));
}

void TestDownloadTask::exhaustedPoolReportsOnceAndCancels()
{
    Fixture f(13, 2);
    seedForChoices({{1, 2}});
    DownloadTaskSpecification* task = f.makeTask(-1);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(f.recorder.withoutProgress(),
             QStringList({"t message Downloading data/file.bin",
                          "t message " + f.url(2) + " returned 404",
                          "t message " + f.url(1) + " returned 404",
                          "pool message There are no (more) known working mirrors available",
                          "t canceled"}));
    QVERIFY2(!QFile::exists(f.local()), qPrintable(f.local()));
    // A second transfer on the empty pool cancels silently.
    DownloadTaskSpecification* second = f.makeTask(-1, Remote, "u");
    f.recorder.clear();
    second->execute();
    QCOMPARE(second->state, ErrorCanceled);
    QCOMPARE(f.recorder.withoutProgress(), QStringList({"u message Downloading data/file.bin", "u canceled"}));
    QCOMPARE(f.server.totalRequests(), 2);
}

void TestDownloadTask::stallIsChargedAfterFifteenTicks()
{
    Fixture f(14, 1);
    f.server.setRoute(Fixture::path(1), TestHttpServer::Route::stall(100, 1000));
    DownloadTaskSpecification* task = f.makeTask(1000);
    QSignalSpy progress(task, SIGNAL(updateProgress(qreal)));
    task->execute();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty() && progress.last().at(0).toDouble() > 0, 5000);
        QCOMPARE(f.server.requestCount(Fixture::path(1)), attempt);
        f.recorder.clear();
        for (int tick = 1; tick <= 15; ++tick) {
            quint64 done = 0, total = 0, delta = 0;
            bool active = false;
            task->timeTick(done, total, delta, active);
            QVERIFY2(active, qPrintable(QString("tick %1 of attempt %2").arg(tick).arg(attempt)));
            QCOMPARE(done, quint64(100));
            QCOMPARE(total, quint64(1000));
            QCOMPARE(delta, quint64(tick == 1 ? 100 : 0));
        }
        QCOMPARE(f.recorder.withoutProgress(), QStringList());
        progress.clear();
        quint64 done = 0, total = 0, delta = 0;
        bool active = false;
        task->timeTick(done, total, delta, active);
        QVERIFY(!active);
        QStringList expected;
        if (attempt == 3)
            expected << "pool message Mirror m1 failed too many times, removing";
        expected << "t message file data/file.bin timed out on mirror m1";
        if (attempt == 3)
            expected << "pool message There are no (more) known working mirrors available" << "t canceled";
        QCOMPARE(f.recorder.withoutProgress(), expected);
        if (attempt < 3) {
            QCOMPARE(task->state, Running);
            QCOMPARE(f.pool.mirrorList().at(0).errorCount, attempt);
        }
    }
    QCOMPARE(task->state, ErrorCanceled);
    QVERIFY2(!QFile::exists(f.local()), qPrintable(f.local()));
    QCOMPARE(f.pool.mirrorList().size(), 0);
}

void TestDownloadTask::shortBodyFinishes_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("with length") << int(TestHttpServer::Whole);
    QTest::newRow("without length") << int(TestHttpServer::NoContentLength);
}

void TestDownloadTask::shortBodyFinishes()
{
    QFETCH(int, mode);
    Fixture f(15, 1);
    TestHttpServer::Route route = TestHttpServer::Route::whole(pattern(50, 's'));
    route.mode = TestHttpServer::Mode(mode);
    f.server.setRoute(Fixture::path(1), route);
    DownloadTaskSpecification* task = f.makeTask(100);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(f.local()) == pattern(50, 's'), qPrintable(f.local()));
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 0);
}

void TestDownloadTask::corruptBodyIsLeftToTheChecksum()
{
    Fixture f(21, 1);
    TestHttpServer::Route route = TestHttpServer::Route::whole(pattern(9000, 'r'));
    route.corruptAt = {0, 4095, 4096, 8999};
    f.server.setRoute(Fixture::path(1), route);
    DownloadTaskSpecification* task = f.makeTask(9000);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QByteArray expected = pattern(9000, 'r');
    for (int position : {0, 4095, 4096, 8999})
        expected[position] = char(expected.at(position) ^ 0xff);
    QVERIFY2(readAll(f.local()) == expected, qPrintable(f.local()));
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 0);
}

void TestDownloadTask::truncatedBodyIsRetried()
{
    Fixture f(16, 2);
    TestHttpServer::Route cut = TestHttpServer::Route::whole(pattern(8000, 'c'));
    cut.mode = TestHttpServer::TruncateClose;
    cut.sendBytes = 3000;
    f.server.setRoute(Fixture::path(1), cut);
    f.server.setRoute(Fixture::path(2), TestHttpServer::Route::whole(pattern(8000, 'c')));
    seedForChoices({{0, 2}, {1, 2}});
    DownloadTaskSpecification* task = f.makeTask(8000);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(f.local()) == pattern(8000, 'c'), qPrintable(f.local()));
    QCOMPARE(f.pool.mirrorList().at(0).name, QString("m1"));
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 1);
    QCOMPARE(f.server.requestLog(), QStringList({Fixture::path(1), Fixture::path(2)}));
}

void TestDownloadTask::longBodyIsCutOffAndCharged_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("announced") << int(TestHttpServer::Whole);
    QTest::newRow("chunked") << int(TestHttpServer::Chunked);
    QTest::newRow("without length") << int(TestHttpServer::NoContentLength);
    QTest::newRow("slow") << int(TestHttpServer::Slow);
}

void TestDownloadTask::longBodyIsCutOffAndCharged()
{
    QFETCH(int, mode);
    Fixture f(17, 2);
    TestHttpServer::Route endless = TestHttpServer::Route::whole(pattern(200000, 'e'));
    endless.mode = TestHttpServer::Mode(mode);
    endless.pieceSize = 1500;
    endless.intervalMs = 1;
    f.server.setRoute(Fixture::path(1), endless);
    f.server.setRoute(Fixture::path(2), TestHttpServer::Route::whole(pattern(1000, 'g')));
    seedForChoices({{0, 2}, {1, 2}});
    DownloadTaskSpecification* task = f.makeTask(1000);
    task->execute();
    QVERIFY(waitEnded(task));
    QCOMPARE(task->state, Finished);
    QVERIFY2(readAll(f.local()) == pattern(1000, 'g'), qPrintable(f.local()));
    QCOMPARE(f.pool.mirrorList().at(0).name, QString("m1"));
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 1);
    QCOMPARE(f.recorder.withoutProgress(),
             QStringList({"t message Downloading data/file.bin",
                          "t message " + f.url(1) + " sent more than 1000 bytes",
                          "t message Downloading data/file.bin finished", "t finished"}));
    QCOMPARE(f.inUse(), 0);
}

void TestDownloadTask::secondTransferWaitsForFreeMirror()
{
    Fixture f(18, 1);
    TestHttpServer::Route slow = TestHttpServer::Route::whole(pattern(6000, 'a'));
    slow.mode = TestHttpServer::Slow;
    slow.pieceSize = 1000;
    slow.intervalMs = 20;
    f.server.setRoute(Fixture::path(1, "a.bin"), slow);
    f.server.setRoute(Fixture::path(1, "b.bin"), TestHttpServer::Route::whole(pattern(300, 'b')));
    DownloadTaskSpecification* a = f.makeTask(6000, "a.bin", "a");
    DownloadTaskSpecification* b = f.makeTask(300, "b.bin", "b");
    a->execute();
    b->execute();
    QCOMPARE(b->state, Running);
    // Waiting is neither a request nor a stall.
    for (int tick = 0; tick < 40; ++tick) {
        quint64 done = 0, total = 0, delta = 0;
        bool active = false;
        b->timeTick(done, total, delta, active);
        QVERIFY(!active);
        QCOMPARE(b->state, Running);
    }
    QVERIFY(waitEnded(a));
    QVERIFY(waitEnded(b));
    QCOMPARE(a->state, Finished);
    QCOMPARE(b->state, Finished);
    QCOMPARE(f.server.requestLog(), QStringList({Fixture::path(1, "a.bin"), Fixture::path(1, "b.bin")}));
    QVERIFY2(readAll(f.local("a.bin")) == pattern(6000, 'a'), "a.bin");
    QVERIFY2(readAll(f.local("b.bin")) == pattern(300, 'b'), "b.bin");
    QCOMPARE(f.recorder.lines({"message", "finished", "canceled"}),
             QStringList({"a message Downloading a.bin", "b message Downloading b.bin",
                          "a message Downloading a.bin finished", "a finished",
                          "b message Downloading b.bin finished", "b finished"}));
    QCOMPARE(f.inUse(), 0);
}

void TestDownloadTask::cancelDeletesPartialFile_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<bool>("waiting");
    QTest::addColumn<TaskState>("endState");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("user, in flight") << true << false << UserCanceled << QStringList({"t canceled"});
    QTest::newRow("sibling, in flight") << false << false << ErrorCanceled
                                        << QStringList({"t message Abort downloading data/file.bin", "t canceled"});
    QTest::newRow("user, waiting") << true << true << UserCanceled << QStringList({"t canceled"});
    QTest::newRow("sibling, waiting") << false << true << ErrorCanceled << QStringList({"t canceled"});
}

void TestDownloadTask::cancelDeletesPartialFile()
{
    QFETCH(bool, byUser);
    QFETCH(bool, waiting);
    QFETCH(TaskState, endState);
    QFETCH(QStringList, log);
    Fixture f(19, 1);
    f.server.setRoute(Fixture::path(1), TestHttpServer::Route::stall(100, 1000));
    f.server.setRoute(Fixture::path(1, "other.bin"), TestHttpServer::Route::stall(100, 1000));
    DownloadTaskSpecification* other = nullptr;
    if (waiting) {
        other = f.makeTask(1000, "other.bin", "o");
        other->execute();
    }
    DownloadTaskSpecification* task = f.makeTask(1000);
    QSignalSpy progress(task, SIGNAL(updateProgress(qreal)));
    task->execute();
    if (!waiting) {
        QTRY_VERIFY_WITH_TIMEOUT(!progress.isEmpty(), 5000);
        QVERIFY2(QFile::exists(f.local()), qPrintable(f.local()));
    }
    f.recorder.clear();
    if (byUser)
        task->userCanceled();
    else
        task->handleOtherTaskCancelled(nullptr);
    QCOMPARE(task->state, endState);
    QCOMPARE(f.recorder.withoutProgress(), log);
    QVERIFY2(!QFile::exists(f.local()), qPrintable(f.local()));
    QCOMPARE(f.inUse(), waiting ? 1 : 0);
    QCOMPARE(f.pool.mirrorList().at(0).errorCount, 0);
    if (waiting) {
        // The freed mirror must not wake the canceled task.
        other->userCanceled();
        QTest::qWait(100);
        QCOMPARE(task->state, endState);
        QCOMPARE(f.server.requestCount(Fixture::path(1)), 0);
        QCOMPARE(f.inUse(), 0);
    }
}

void TestDownloadTask::uncreatableFileCancels()
{
    Fixture f(20, 1);
    f.server.setRoute(Fixture::path(1), TestHttpServer::Route::whole("x"));
    QFile blocker(f.local("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A file where the destination's directory must be.
    auto* task = new DownloadTaskSpecification(&f.manager, &f.pool, Remote, f.local("blocker/file.bin"), -1,
                                               &f.owner, 1.0);
    f.recorder.watch(task, "t");
    task->execute();
    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(f.recorder.withoutProgress(),
             QStringList({"t message Downloading data/file.bin",
                          "t error Unable to create file " + f.local("blocker/file.bin") + " for saving",
                          "t canceled"}));
    QCOMPARE(f.inUse(), 0);
    QCOMPARE(f.server.totalRequests(), 0);
}

QTEST_GUILESS_MAIN(TestDownloadTask)
#include "tst_downloadtask.moc"
