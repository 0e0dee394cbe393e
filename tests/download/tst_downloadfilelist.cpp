// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "config/configuration.h"
#include "config/randomgenerator.h"
#include "download/downloadfilelisttaskspecification.h"
#include "download/downloadfiletaskspecification.h"
#include "download/mirrors.h"
#include "testlib/testhttpserver.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int kVersion = 7;
const char* const kSection = "files";

QString md5Of(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

// The release trees of several mirrors on one loopback test server, each
// mirror under its own path prefix. Records the largest number of requests
// it had open at once.
class MirrorSite : public QObject
{
    Q_OBJECT
public:
    explicit MirrorSite(const QString& address)
        : m_address(address)
    {
        connect(&server, SIGNAL(requestReceived(QString)), this, SLOT(onRequest()));
    }

    bool start() { return server.listen(QHostAddress(m_address)); }
    QString baseUrl(const QString& mirror) const { return server.url("/" + mirror); }
    static QString pathOf(const QString& mirror, const QString& fileName)
    {
        return QStringLiteral("/%1/%2/%3/%4").arg(mirror).arg(kVersion).arg(kSection, fileName);
    }
    // The body of fileName below the section on one mirror; with slow set it
    // is sent in pieces over several tens of milliseconds.
    void put(const QString& mirror, const QString& fileName, const QByteArray& body)
    {
        TestHttpServer::Route route = TestHttpServer::Route::whole(body);
        if (slow) {
            route.mode = TestHttpServer::Slow;
            route.pieceSize = qMax(1, int(body.size() / 4));
            route.intervalMs = 15;
        }
        server.setRoute(pathOf(mirror, fileName), route);
    }
    // Headers only, then silence: the transfer stays in flight.
    void hold(const QString& mirror, const QString& fileName)
    {
        server.setRoute(pathOf(mirror, fileName), TestHttpServer::Route::stall(0, 100));
    }
    QStringList requests() const { return server.requestLog(); }

    TestHttpServer server;
    bool slow = false;
    int maxOpen = 0;

private slots:
    void onRequest() { maxOpen = qMax(maxOpen, server.openConnections()); }

private:
    QString m_address;
};

class Recorder : public QObject
{
    Q_OBJECT
public:
    QStringList log;
    // Called with each message before it is logged.
    std::function<void(const QString&)> onEachMessage;

public slots:
    void onMessage(QString text)
    {
        log.append(text);
        if (onEachMessage)
            onEachMessage(text);
    }
    void onError(QString text) { log.append("error: " + text); }
    void onFinished(TaskSpecification*) { log.append("finished"); }
    void onCanceled(TaskSpecification*) { log.append("canceled"); }
};

// One download run: a temporary directory, a mirror pool read from a
// mirrors.ini naming the given mirrors, and the list task.
struct Fixture
{
    Fixture(const QString& address, const QStringList& mirrorNames, int streams)
        : server(address)
        , mirrors(nullptr)
    {
        serverUp = server.start();
        configuration.m_tempDir = temp.path();
        configuration.m_downloadStreams = streams;
        QSettings ini(settingsDir.path() + "/mirrors.ini", QSettings::IniFormat);
        ini.beginWriteArray("mirrors", int(mirrorNames.size()));
        for (int i = 0; i < mirrorNames.size(); ++i) {
            ini.setArrayIndex(i);
            ini.setValue("mirror", mirrorNames.at(i));
        }
        ini.endArray();
        for (const QString& name : mirrorNames) {
            ini.setValue(name + "/url", server.baseUrl(name));
            ini.setValue(name + "/retries", 2);
        }
        ini.sync();
        mirrors.initDefault(ini.fileName(), kVersion);
        QObject::connect(&mirrors, SIGNAL(message(QString)), &recorder, SLOT(onMessage(QString)));
    }

    bool valid() const { return serverUp && temp.isValid() && settingsDir.isValid(); }

    void add(const QString& fileName, const QByteArray& body, const QStringList& servingMirrors)
    {
        for (const QString& m : servingMirrors)
            server.put(m, fileName, body);
        list.append(FileDownloadSpecification{kSection, fileName, md5Of(body), body.size()});
    }

    DownloadFileListTaskSpecification* makeTask()
    {
        auto* task = new DownloadFileListTaskSpecification(&list, &manager, &mirrors, &configuration, nullptr, 1.0);
        owned.reset(task);
        QObject::connect(task, SIGNAL(message(QString)), &recorder, SLOT(onMessage(QString)));
        QObject::connect(task, SIGNAL(error(QString)), &recorder, SLOT(onError(QString)));
        QObject::connect(task, SIGNAL(finished(TaskSpecification*)), &recorder, SLOT(onFinished(TaskSpecification*)));
        QObject::connect(task, SIGNAL(canceled(TaskSpecification*)), &recorder, SLOT(onCanceled(TaskSpecification*)));
        return task;
    }

    bool runToEnd(DownloadFileListTaskSpecification* task)
    {
        task->execute();
        return QTest::qWaitFor([task] { return task->state != Running && task->state != Idle; }, 20000);
    }

    QString local(const QString& fileName) const { return temp.path() + "/" + fileName; }
    QByteArray content(const QString& fileName) const
    {
        QFile file(local(fileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList mirrorNames() const
    {
        QStringList names;
        for (const FTPSiteAccessData& m : mirrors.mirrorList())
            names.append(m.name);
        return names;
    }
    QStringList tempEntries() const
    {
        QStringList entries;
        QDirIterator it(temp.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            entries.append(QDir(temp.path()).relativeFilePath(it.next()));
        entries.sort();
        return entries;
    }
    int count(const QString& line) const { return int(recorder.log.count(line)); }

    MirrorSite server;
    bool serverUp = false;
    QTemporaryDir temp;
    QTemporaryDir settingsDir;
    Configuration configuration;
    QNetworkAccessManager manager;
    Mirrors mirrors;
    QList<FileDownloadSpecification> list;
    Recorder recorder;
    QScopedPointer<DownloadFileListTaskSpecification> owned;
};

} // namespace

class TestDownloadFileList : public QObject
{
    Q_OBJECT
private slots:
    void init() { RandomGenerator::seed(1); }
    void emptyListNeedsNoDownload();
    void subdirectoriesMadeBelowTemp();
    void subdirectoryBlockedByFile();
    void concurrencyFollowsStreams_data();
    void concurrencyFollowsStreams();
    void corruptMirrorRetired();
    void corruptEverywhereEmptiesPool_data();
    void corruptEverywhereEmptiesPool();
    void userCancelDuringFailedCheckStops();
    void totalIsListSizeFromFirstTick();
    void weightsAndRerunAfterCancel();
};

void TestDownloadFileList::emptyListNeedsNoDownload()
{
    Fixture fx("127.0.0.31", {"m1"}, 6);
    QVERIFY(fx.valid());
    DownloadFileListTaskSpecification* task = fx.makeTask();
    QVERIFY(fx.runToEnd(task));
    QCOMPARE(task->state, Finished);
    QCOMPARE(fx.recorder.log, QStringList({"No downloads needed", "finished"}));
    QCOMPARE(task->progress, 1.0);
    QVERIFY(fx.tempEntries().isEmpty());
    QVERIFY(fx.server.requests().isEmpty());
}

void TestDownloadFileList::subdirectoriesMadeBelowTemp()
{
    Fixture fx("127.0.0.32", {"m1", "m2"}, 2);
    QVERIFY(fx.valid());
    fx.add("a/x", "xx", {"m1", "m2"});
    fx.add("a/y", "yyy", {"m1", "m2"});
    fx.add("b/c/z", "zzzz", {"m1", "m2"});
    fx.add("top.txt", "top", {"m1", "m2"});
    DownloadFileListTaskSpecification* task = fx.makeTask();
    task->execute();
    // The directories exist before the first transfer has been started.
    QCOMPARE(fx.tempEntries(), QStringList({"a", "b", "b/c"}));
    QVERIFY(QTest::qWaitFor([task] { return task->state != Running; }, 20000));
    QCOMPARE(task->state, Finished);
    QCOMPARE(fx.recorder.log.first(), QString("Downloading files"));
    QCOMPARE(fx.recorder.log.last(), QString("finished"));
    QCOMPARE(fx.tempEntries(), QStringList({"a", "a/x", "a/y", "b", "b/c", "b/c/z", "top.txt"}));
    for (const FileDownloadSpecification& entry : std::as_const(fx.list))
        QVERIFY2(md5Of(fx.content(entry.fileName)) == entry.md5, qPrintable(entry.fileName));
    QCOMPARE(fx.mirrorNames(), QStringList({"m1", "m2"}));
}

void TestDownloadFileList::subdirectoryBlockedByFile()
{
    Fixture fx("127.0.0.33", {"m1"}, 2);
    QVERIFY(fx.valid());
    fx.add("ok/first.bin", "1", {"m1"});
    fx.add("a/x", "xx", {"m1"});
    QFile blocker(fx.local("a"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    DownloadFileListTaskSpecification* task = fx.makeTask();
    task->execute();
    QCOMPARE(task->state, ErrorCanceled);
    const QString canonical = QDir(fx.temp.path()).canonicalPath();
    QCOMPARE(fx.recorder.log, QStringList({"Could not create dir " + canonical + "/a", "canceled"}));
    QTest::qWait(50);
    QVERIFY(fx.server.requests().isEmpty());
    QVERIFY(task->subTasks.isEmpty());
}

void TestDownloadFileList::concurrencyFollowsStreams_data()
{
    QTest::addColumn<int>("streams");
    QTest::addColumn<int>("mirrorCount");
    QTest::addColumn<int>("expectedMaxOpen");
    QTest::newRow("streams 2, four mirrors") << 2 << 4 << 2;
    QTest::newRow("streams 1") << 1 << 4 << 1;
    QTest::newRow("streams 6, two mirrors: one transfer per mirror") << 6 << 2 << 2;
    QTest::newRow("streams unset") << 0 << 3 << 1;
}

void TestDownloadFileList::concurrencyFollowsStreams()
{
    QFETCH(int, streams);
    QFETCH(int, mirrorCount);
    QFETCH(int, expectedMaxOpen);
    QStringList names;
    for (int i = 1; i <= mirrorCount; ++i)
        names.append(QString("m%1").arg(i));
    Fixture fx("127.0.0.34", names, streams);
    QVERIFY(fx.valid());
    fx.server.slow = true;
    for (int i = 0; i < 5; ++i)
        fx.add(QString("f%1.bin").arg(i), QByteArray(1000 + i, char('a' + i)), names);
    DownloadFileListTaskSpecification* task = fx.makeTask();
    QVERIFY(fx.runToEnd(task));
    QCOMPARE(task->state, Finished);
    QCOMPARE(fx.server.requests().size(), 5);
    QCOMPARE(fx.server.maxOpen, expectedMaxOpen);
    for (int i = 0; i < 5; ++i)
        QVERIFY2(fx.content(QString("f%1.bin").arg(i)) == QByteArray(1000 + i, char('a' + i)), qPrintable(QString::number(i)));
}

void TestDownloadFileList::corruptMirrorRetired()
{
    // Two files on two mirrors at once: each mirror serves one of them first.
    Fixture fx("127.0.0.35", {"good", "bad"}, 2);
    QVERIFY(fx.valid());
    fx.add("one.bin", "first file", {"good"});
    fx.add("two.bin", "second file", {"good"});
    fx.server.put("bad", "one.bin", "corrupted!");
    fx.server.put("bad", "two.bin", "corrupted!!");
    DownloadFileListTaskSpecification* task = fx.makeTask();
    QVERIFY(fx.runToEnd(task));
    QCOMPARE(task->state, Finished);
    QCOMPARE(fx.mirrorNames(), QStringList{"good"});
    QCOMPARE(fx.content("one.bin"), QByteArray("first file"));
    QCOMPARE(fx.content("two.bin"), QByteArray("second file"));

    int badRequests = 0;
    QString corrupted;
    const QStringList requests = fx.server.requests();
    for (const QString& request : requests) {
        if (request.startsWith("/bad/")) {
            ++badRequests;
            corrupted = request.section('/', -1);
        }
    }
    QCOMPARE(badRequests, 1);
    QCOMPARE(fx.server.requests().size(), 3);
    const int failed = fx.recorder.log.indexOf("Signature check failed for " + fx.local(corrupted));
    QVERIFY2(failed >= 0, qPrintable(fx.recorder.log.join('\n')));
    QCOMPARE(fx.recorder.log.value(failed + 1), "md5 sum for " + corrupted + " failed, invalidating mirror and retrying");
    QCOMPARE(fx.count("Downloading " + QString(kSection) + "/" + corrupted), 2);
}

void TestDownloadFileList::corruptEverywhereEmptiesPool_data()
{
    QTest::addColumn<bool>("emptyMd5");
    QTest::newRow("wrong content on every mirror") << false;
    QTest::newRow("empty sum, no signature file") << true;
}

void TestDownloadFileList::corruptEverywhereEmptiesPool()
{
    QFETCH(bool, emptyMd5);
    // One mirror: the held transfer takes it over while the bad file's sum is
    // computed, so it is in flight when the pool runs empty.
    Fixture fx("127.0.0.36", {"only"}, 2);
    QVERIFY(fx.valid());
    fx.add("bad.bin", "expected content", {});
    fx.server.put("only", "bad.bin", "something else");
    if (emptyMd5) {
        fx.list.last().md5.clear();
        fx.server.put("only", "bad.bin", "expected content");
    }
    fx.add("held.bin", "never arrives", {"only"});
    fx.server.hold("only", "held.bin");
    DownloadFileListTaskSpecification* task = fx.makeTask();
    QVERIFY(fx.runToEnd(task));
    QCOMPARE(task->state, ErrorCanceled);
    QVERIFY(fx.mirrorNames().isEmpty());

    const QString held = QString(kSection) + "/held.bin";
    const QStringList expectedTail = {
        "Signature check failed for " + fx.local("bad.bin"),
        "md5 sum for bad.bin failed, invalidating mirror and retrying",
        "Downloading " + QString(kSection) + "/bad.bin",
        "There are no (more) known working mirrors available",
        "Abort downloading " + held,
        "canceled",
    };
    QVERIFY2(fx.recorder.log.size() >= expectedTail.size(), qPrintable(fx.recorder.log.join('\n')));
    QCOMPARE(fx.recorder.log.mid(fx.recorder.log.size() - expectedTail.size()), expectedTail);
    QCOMPARE(fx.count("canceled"), 1);
    QVERIFY2(!QFileInfo::exists(fx.local("held.bin")), "aborted transfer left held.bin");
    QCOMPARE(fx.server.requests().size(), 2);
}

void TestDownloadFileList::userCancelDuringFailedCheckStops()
{
    // Both mirrors serve a wrong file: starting over would ask the other one.
    Fixture fx("127.0.0.37", {"m1", "m2"}, 1);
    QVERIFY(fx.valid());
    fx.add("f.bin", "right", {});
    fx.server.put("m1", "f.bin", "wrong");
    fx.server.put("m2", "f.bin", "wrong");
    DownloadFileListTaskSpecification* task = fx.makeTask();
    bool cancelSent = false;
    // The user cancels while the sum of the wrong file is being judged.
    fx.recorder.onEachMessage = [&](const QString& text) {
        if (text.startsWith("Signature check failed") && !cancelSent) {
            cancelSent = true;
            task->userCanceled();
        }
    };
    QVERIFY(fx.runToEnd(task));
    QVERIFY(cancelSent);
    QCOMPARE(task->state, UserCanceled);
    QTest::qWait(50);
    QCOMPARE(fx.server.requests().size(), 1);
    QCOMPARE(fx.mirrorNames().size(), 1);
    QCOMPARE(fx.count("canceled"), 1);
    QCOMPARE(fx.recorder.log.last(), QString("canceled"));
}

void TestDownloadFileList::totalIsListSizeFromFirstTick()
{
    Fixture fx("127.0.0.38", {"m1", "m2"}, 2);
    QVERIFY(fx.valid());
    fx.server.slow = true;
    fx.add("a.bin", QByteArray(3000, 'a'), {"m1", "m2"});
    fx.add("b.bin", QByteArray(5000, 'b'), {"m1", "m2"});
    fx.add("c.bin", QByteArray(7000, 'c'), {"m1", "m2"});
    DownloadFileListTaskSpecification* task = fx.makeTask();

    auto tick = [task](quint64& done, quint64& total) {
        quint64 delta = 0;
        bool active = false;
        done = 0;
        total = 0;
        task->timeTick(done, total, delta, active);
    };
    quint64 done = 0, total = 0;
    task->execute();
    tick(done, total);
    QCOMPARE(total, quint64(15000));
    QCOMPARE(done, quint64(0));
    QVERIFY(QTest::qWaitFor([&] {
        tick(done, total);
        return total != 15000 || task->state != Running;
    }, 20000));
    QCOMPARE(task->state, Finished);
    QCOMPARE(total, quint64(15000));
    tick(done, total);
    QCOMPARE(total, quint64(15000));
    QCOMPARE(done, quint64(15000));
}

void TestDownloadFileList::weightsAndRerunAfterCancel()
{
    Fixture fx("127.0.0.39", {"m1"}, 2);
    QVERIFY(fx.valid());
    for (int i = 0; i < 5; ++i) {
        fx.add(QString("f%1").arg(i), "x", {});
        fx.server.hold("m1", QString("f%1").arg(i));
    }
    DownloadFileListTaskSpecification* task = fx.makeTask();
    task->execute();
    QCOMPARE(task->subTasks.size(), 5);
    for (TaskSpecification* file : std::as_const(task->subTasks))
        QCOMPARE(file->parentProgressRange, 0.2);
    auto* first = qobject_cast<DownloadFileTaskSpecification*>(task->subTasks.first());
    QVERIFY(first);
    QVERIFY(QTest::qWaitFor([first] { return first->subTasks.size() == 2; }, 5000));
    QCOMPARE(first->subTasks.at(0)->parentProgressRange, 0.8);
    QCOMPARE(first->subTasks.at(1)->parentProgressRange, 0.2);
    QCOMPARE(first->maxParallel, 1);
    QCOMPARE(task->maxParallel, 2);
    task->userCanceled();
    QVERIFY(QTest::qWaitFor([task] { return task->state != Running; }, 5000));
    QCOMPARE(task->state, UserCanceled);

    // A reset makes the whole list runnable again, from fresh file tasks.
    for (int i = 0; i < 5; ++i)
        fx.server.put("m1", QString("f%1").arg(i), "x");
    task->reset();
    QCOMPARE(task->state, Idle);
    QVERIFY(task->subTasks.isEmpty());
    QVERIFY(fx.runToEnd(task));
    QCOMPARE(task->state, Finished);
    quint64 done = 0, total = 0, delta = 0;
    bool active = false;
    task->timeTick(done, total, delta, active);
    QCOMPARE(total, quint64(5));
    for (int i = 0; i < 5; ++i)
        QVERIFY2(fx.content(QString("f%1").arg(i)) == "x", qPrintable(QString("f%1").arg(i)));
}

QTEST_GUILESS_MAIN(TestDownloadFileList)
#include "tst_downloadfilelist.moc"
