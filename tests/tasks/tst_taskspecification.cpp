// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/taskspecification.h"
#include "testlib/faketasks.h"
#include "testlib/signalrecorder.h"

#include <QtTest>

namespace {

// Uses every base behaviour except execute().
class PlainTask : public TaskSpecification
{
    Q_OBJECT
public:
    PlainTask(QObject* parent, double weight)
        : TaskSpecification(parent, weight)
    {
    }

public slots:
    void execute() override { state = Running; }
};

} // namespace

class TestTaskSpecification : public QObject
{
    Q_OBJECT
private slots:
    void construction();
    void lifecycle_data();
    void lifecycle();
    void otherTaskCancelled_data();
    void otherTaskCancelled();
    void baseTimeTickClearsCounters();
    void baseUserCanceledOnlySetsFlag();
};

void TestTaskSpecification::construction()
{
    QObject owner;
    auto* task = new PlainTask(&owner, 0.3);
    QCOMPARE(task->parent(), &owner);
    QCOMPARE(task->state, Idle);
    QCOMPARE(task->progress, 0.0);
    QCOMPARE(task->parentProgressRange, 0.3);
    QCOMPARE(task->userCancelRequested, false);
}

// Each row is a sequence of calls on one task, then its whole signal log and
// the resulting fields. Calls: execute, finish, errorCancel, userCancel, reset,
// userCanceled, progress:<fraction>, range:<weight>.
void TestTaskSpecification::lifecycle_data()
{
    QTest::addColumn<double>("weight");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<double>("expectedProgress");
    QTest::addColumn<bool>("expectedFlag");

    QTest::newRow("finish emits weight then finished")
        << 0.25 << QStringList{"execute", "finish"}
        << QStringList{"t updateProgress 0.25", "t finished"} << int(Finished) << 0.25 << false;
    QTest::newRow("setProgress is weighted")
        << 0.4 << QStringList{"execute", "progress:0.5"}
        << QStringList{"t updateProgress 0.2"} << int(Running) << 0.2 << false;
    QTest::newRow("setProgress neither clamps nor suppresses repeats")
        << 0.5 << QStringList{"execute", "progress:1.5", "progress:1.5", "progress:-1"}
        << QStringList{"t updateProgress 0.75", "t updateProgress 0.75", "t updateProgress -0.5"}
        << int(Running) << -0.5 << false;
    QTest::newRow("errorCancel keeps progress")
        << 0.4 << QStringList{"execute", "progress:0.5", "errorCancel"}
        << QStringList{"t updateProgress 0.2", "t canceled"} << int(ErrorCanceled) << 0.2 << false;
    QTest::newRow("userCancel keeps progress")
        << 0.4 << QStringList{"execute", "progress:0.5", "userCancel"}
        << QStringList{"t updateProgress 0.2", "t canceled"} << int(UserCanceled) << 0.2 << false;
    QTest::newRow("reset after finish")
        << 0.25 << QStringList{"execute", "finish", "reset"}
        << QStringList{"t updateProgress 0.25", "t finished", "t updateProgress 0"} << int(Idle) << 0.0 << false;
    QTest::newRow("reset clears the cancel request")
        << 1.0 << QStringList{"execute", "userCanceled", "userCancel", "reset"}
        << QStringList{"t canceled", "t updateProgress 0"} << int(Idle) << 0.0 << false;
    QTest::newRow("user cancel request survives the end of the task")
        << 1.0 << QStringList{"execute", "userCanceled", "finish"}
        << QStringList{"t updateProgress 1", "t finished"} << int(Finished) << 1.0 << true;
    QTest::newRow("range change neither recomputes nor emits")
        << 0.4 << QStringList{"execute", "progress:0.5", "range:0.8"}
        << QStringList{"t updateProgress 0.2"} << int(Running) << 0.2 << false;
    QTest::newRow("changed range weights later progress and finish")
        << 0.4 << QStringList{"execute", "range:0.8", "progress:0.5", "finish"}
        << QStringList{"t updateProgress 0.4", "t updateProgress 0.8", "t finished"} << int(Finished) << 0.8 << false;
    QTest::newRow("ending calls are not guarded by state")
        << 0.5 << QStringList{"finish", "errorCancel"}
        << QStringList{"t updateProgress 0.5", "t finished", "t canceled"} << int(ErrorCanceled) << 0.5 << false;
}

void TestTaskSpecification::lifecycle()
{
    QFETCH(double, weight);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, expectedLog);
    QFETCH(int, expectedState);
    QFETCH(double, expectedProgress);
    QFETCH(bool, expectedFlag);

    PlainTask task(nullptr, weight);
    SignalRecorder recorder;
    recorder.watch(&task, "t");

    for (const QString& call : calls) {
        if (call == "execute")
            task.execute();
        else if (call == "finish")
            task.finish();
        else if (call == "errorCancel")
            task.errorCancel();
        else if (call == "userCancel")
            task.userCancel();
        else if (call == "reset")
            task.reset();
        else if (call == "userCanceled")
            task.userCanceled();
        else if (call.startsWith("progress:"))
            task.setProgress(call.mid(9).toDouble());
        else if (call.startsWith("range:"))
            task.setParentProgressRange(call.mid(6).toDouble());
        else
            QFAIL(qPrintable("unknown call " + call));
    }

    QCOMPARE(recorder.log, expectedLog);
    QCOMPARE(int(task.state), expectedState);
    QVERIFY2(qAbs(task.progress - expectedProgress) < 1e-12,
             qPrintable(QString("progress %1, expected %2").arg(task.progress).arg(expectedProgress)));
    QCOMPARE(task.userCancelRequested, expectedFlag);
}

void TestTaskSpecification::otherTaskCancelled_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("otherIsSelf");
    QTest::addColumn<bool>("handled");

    const QList<QPair<TaskState, const char*>> states = {
        {Idle, "idle"}, {Running, "running"}, {Finished, "finished"},
        {ErrorCanceled, "error-canceled"}, {UserCanceled, "user-canceled"}};
    for (const auto& s : states) {
        QTest::newRow(qPrintable(QString("%1, sibling").arg(s.second))) << int(s.first) << false << (s.first == Running);
        QTest::newRow(qPrintable(QString("%1, itself").arg(s.second))) << int(s.first) << true << false;
    }
}

void TestTaskSpecification::otherTaskCancelled()
{
    QFETCH(int, state);
    QFETCH(bool, otherIsSelf);
    QFETCH(bool, handled);

    FakeTask receiver(nullptr, 1.0);
    FakeTask sibling(nullptr, 1.0);
    receiver.state = TaskState(state);
    // The broadcast arrives through the connection a composite makes.
    connect(&sibling, SIGNAL(otherTaskCancelled(TaskSpecification*)), &receiver,
            SLOT(onOtherTaskCancelled(TaskSpecification*)));
    TaskSpecification* canceled = otherIsSelf ? static_cast<TaskSpecification*>(&receiver) : &sibling;
    emit sibling.otherTaskCancelled(canceled);

    const QList<TaskSpecification*> expected = handled ? QList<TaskSpecification*>{canceled} : QList<TaskSpecification*>{};
    QCOMPARE(receiver.otherCancelled, expected);
    QCOMPARE(int(receiver.state), state);
}

void TestTaskSpecification::baseTimeTickClearsCounters()
{
    PlainTask task(nullptr, 1.0);
    task.execute();
    quint64 done = 11, total = 22, delta = 33;
    bool active = true;
    task.timeTick(done, total, delta, active);
    QCOMPARE(done, quint64(0));
    QCOMPARE(total, quint64(0));
    QCOMPARE(delta, quint64(0));
    QCOMPARE(active, false);
}

void TestTaskSpecification::baseUserCanceledOnlySetsFlag()
{
    PlainTask task(nullptr, 1.0);
    SignalRecorder recorder;
    recorder.watch(&task, "t");
    task.execute();
    task.userCanceled();
    QCOMPARE(task.userCancelRequested, true);
    QCOMPARE(task.state, Running);
    QCOMPARE(recorder.log, QStringList());
}

QTEST_GUILESS_MAIN(TestTaskSpecification)
#include "tst_taskspecification.moc"
