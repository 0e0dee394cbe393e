// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/asynctaskspecification.h"
#include "tasks/slowfileoptaskspecification.h"
#include "testlib/signalrecorder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

#include <atomic>

namespace {

// What a function did on the pool, filled in from the worker thread and read
// only after the pool is idle.
struct Probe
{
    std::atomic<QThread*> ranOn{nullptr};
    std::atomic<QThread*> destroyedOn{nullptr};
    std::atomic<int> created{0};
    std::atomic<bool> done{false};
};

class ScriptedFunc : public ASyncFunc
{
    Q_OBJECT
public:
    ScriptedFunc(Probe* probe, bool result, const QStringList& messages, const QList<qreal>& progress, int sleepMs)
        : m_probe(probe), m_result(result), m_messages(messages), m_progress(progress), m_sleepMs(sleepMs)
    {
        ++m_probe->created;
    }
    ~ScriptedFunc() override { m_probe->destroyedOn = QThread::currentThread(); }

    bool run() override
    {
        m_probe->ranOn = QThread::currentThread();
        QThread::msleep(m_sleepMs);
        for (const QString& m : m_messages) {
            if (m.startsWith("error:"))
                emit error(m.mid(6));
            else
                emit message(m);
        }
        for (qreal p : m_progress)
            emit progress(p);
        m_probe->done = true;
        return m_result;
    }

private:
    Probe* m_probe;
    bool m_result;
    QStringList m_messages;
    QList<qreal> m_progress;
    int m_sleepMs;
};

class ScriptedTask : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    ScriptedTask(Probe* probe, QObject* parent, double weight)
        : ASyncTaskSpecification(parent, weight), probe(probe)
    {
    }

    ASyncFunc* createFunction() override { return new ScriptedFunc(probe, result, messages, progress, sleepMs); }

    Probe* probe;
    bool result = true;
    QStringList messages;
    QList<qreal> progress;
    int sleepMs = 0;
};

// Copies source to destination; fails if the destination exists or the source
// is missing, like a real copy would.
class CopyFunc : public SlowFileOpFunc
{
    Q_OBJECT
public:
    CopyFunc(const QString& source, const QString& destination, int sleepMs)
        : SlowFileOpFunc(source, destination), m_sleepMs(sleepMs)
    {
    }
    bool run() override
    {
        QThread::msleep(m_sleepMs);
        emit message(QString("copying %1").arg(QFileInfo(source).fileName()));
        return QFile::copy(source, destination);
    }

private:
    int m_sleepMs;
};

class CopyTask : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    CopyTask(RollbackDataList* journal, const QString& source, const QString& destination, QObject* parent,
             double weight)
        : SlowFileOpSpecification(QString("Could not copy %1 to %2").arg(source, destination), journal, source,
                                  destination, parent, weight)
    {
    }
    ASyncFunc* createFunction() override { return new CopyFunc(source, destination, sleepMs); }

    int sleepMs = 0;
};

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestASyncTaskSpecification : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void result_data();
    void result();
    void lateResultAfterResetIsIgnored_data();
    void lateResultAfterResetIsIgnored();
    void eachExecutionMakesAFreshFunction();
    void slowFileOp_data();
    void slowFileOp();
    void slowFileOpLateResultRecordsNothing_data();
    void slowFileOpLateResultRecordsNothing();
};

void TestASyncTaskSpecification::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

void TestASyncTaskSpecification::result_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<qreal>>("progress");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<int>("expectedState");

    QTest::newRow("success ends with the weight")
        << true << QStringList{} << QList<qreal>{} << QStringList{"t updateProgress 0.5", "t finished"}
        << int(Finished);
    QTest::newRow("failure cancels with error")
        << false << QStringList{} << QList<qreal>{} << QStringList{"t canceled"} << int(ErrorCanceled);
    QTest::newRow("texts and progress arrive first, in order")
        << true << QStringList{"first", "error:broken", "second"} << QList<qreal>{0.2, 0.6}
        << QStringList{"t message first", "t error broken", "t message second", "t updateProgress 0.1",
                       "t updateProgress 0.3", "t updateProgress 0.5", "t finished"}
        << int(Finished);
    QTest::newRow("message before the cancel")
        << false << QStringList{"why it failed"} << QList<qreal>{}
        << QStringList{"t message why it failed", "t canceled"} << int(ErrorCanceled);
}

void TestASyncTaskSpecification::result()
{
    QFETCH(bool, ok);
    QFETCH(QStringList, messages);
    QFETCH(QList<qreal>, progress);
    QFETCH(QStringList, expectedLog);
    QFETCH(int, expectedState);

    Probe probe;
    ScriptedTask task(&probe, nullptr, 0.5);
    task.result = ok;
    task.messages = messages;
    task.progress = progress;
    SignalRecorder recorder;
    recorder.watch(&task, "t");

    task.execute();
    QCOMPARE(task.state, Running);
    // Even work that is already done reports only through the event loop.
    QThreadPool::globalInstance()->waitForDone();
    QVERIFY(probe.done);
    QCOMPARE(task.state, Running);
    QCOMPARE(recorder.log, QStringList());

    QTRY_COMPARE(int(task.state), expectedState);
    QCOMPARE(recorder.log, expectedLog);
    QVERIFY2(probe.ranOn != QThread::currentThread(), "run() must execute on a pool thread");
    QTRY_VERIFY2(probe.destroyedOn == probe.ranOn.load(), "the function is deleted on the pool thread after run()");
}

void TestASyncTaskSpecification::lateResultAfterResetIsIgnored_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("late success") << true;
    QTest::newRow("late failure") << false;
}

void TestASyncTaskSpecification::lateResultAfterResetIsIgnored()
{
    QFETCH(bool, ok);

    Probe probe;
    ScriptedTask task(&probe, nullptr, 1.0);
    task.result = ok;
    task.sleepMs = 100;
    SignalRecorder recorder;
    recorder.watch(&task, "t");

    task.execute();
    task.reset();
    QVERIFY2(probe.done, "reset() must wait for the pool");
    QCOMPARE(task.state, Idle);
    QCOMPARE(recorder.take(), QStringList{"t updateProgress 0"});

    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(task.state, Idle);
    QCOMPARE(recorder.lines({"finished", "canceled"}), QStringList());
}

void TestASyncTaskSpecification::eachExecutionMakesAFreshFunction()
{
    Probe probe;
    ScriptedTask task(&probe, nullptr, 1.0);
    task.result = false;
    task.execute();
    QTRY_COMPARE(task.state, ErrorCanceled);
    task.reset();
    task.result = true;
    task.execute();
    QTRY_COMPARE(task.state, Finished);
    QCOMPARE(probe.created.load(), 2);
}

void TestASyncTaskSpecification::slowFileOp_data()
{
    QTest::addColumn<bool>("withJournal");
    QTest::addColumn<bool>("sourceExists");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<int>("expectedEntries");

    const QStringList success{"t message copying src.bin", "t updateProgress 1", "t finished"};
    const QStringList failure{"t message copying src.bin", "t message Could not copy %S to %D", "t canceled"};
    QTest::newRow("success, journalled") << true << true << success << 2;
    QTest::newRow("success, no journal") << false << true << success << 1;
    QTest::newRow("failure, journalled") << true << false << failure << 1;
    QTest::newRow("failure, no journal") << false << false << failure << 1;
}

// The journal already holds one entry; success adds exactly one CreateFile for
// the destination, failure adds nothing and emits the fail text before canceled.
void TestASyncTaskSpecification::slowFileOp()
{
    QFETCH(bool, withJournal);
    QFETCH(bool, sourceExists);
    QFETCH(QStringList, expectedLog);
    QFETCH(int, expectedEntries);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("src.bin");
    const QString destination = dir.filePath("dst.bin");
    if (sourceExists)
        QVERIFY2(writeFile(source, "payload"), qPrintable(source));

    RollbackDataList journal;
    journal.add(RollbackData(RollbackData::CreateDir, dir.filePath("earlier")));
    CopyTask task(withJournal ? &journal : nullptr, source, destination, nullptr, 1.0);
    SignalRecorder recorder;
    recorder.watch(&task, "t");
    task.execute();
    QTRY_VERIFY(task.state != Running);

    expectedLog.replaceInStrings("%S", source).replaceInStrings("%D", destination);
    QCOMPARE(recorder.log, expectedLog);
    QCOMPARE(task.state, sourceExists ? Finished : ErrorCanceled);
    QCOMPARE(journal.entries.size(), expectedEntries);
    if (expectedEntries == 2) {
        QCOMPARE(journal.entries.last().operation, RollbackData::CreateFile);
        QCOMPARE(journal.entries.last().path, destination);
        QCOMPARE(journal.entries.last().oldPath, QString());
    }
    if (sourceExists)
        QVERIFY2(readFile(destination) == "payload", qPrintable(destination));
    else
        QVERIFY2(!QFile::exists(destination), qPrintable(destination));
}

void TestASyncTaskSpecification::slowFileOpLateResultRecordsNothing_data()
{
    QTest::addColumn<bool>("sourceExists");
    QTest::newRow("late success") << true;
    QTest::newRow("late failure") << false;
}

// A result that arrives after reset() must neither journal the file (a later
// rollback would delete whatever then has that name) nor report a failure.
void TestASyncTaskSpecification::slowFileOpLateResultRecordsNothing()
{
    QFETCH(bool, sourceExists);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("src.bin");
    const QString destination = dir.filePath("dst.bin");
    if (sourceExists)
        QVERIFY2(writeFile(source, "payload"), qPrintable(source));

    RollbackDataList journal;
    CopyTask task(&journal, source, destination, nullptr, 1.0);
    task.sleepMs = 50;
    SignalRecorder recorder;
    recorder.watch(&task, "t");
    task.execute();
    task.reset();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    QCOMPARE(task.state, Idle);
    QCOMPARE(journal.entries.size(), 0);
    QCOMPARE(recorder.lines({"finished", "canceled"}), QStringList());
    QCOMPARE(recorder.withoutProgress(), QStringList{"t message copying src.bin"});
}

QTEST_GUILESS_MAIN(TestASyncTaskSpecification)
#include "tst_asynctaskspecification.moc"
