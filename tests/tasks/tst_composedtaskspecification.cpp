// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/composedtaskspecification.h"
#include "testlib/faketasks.h"
#include "testlib/signalrecorder.h"

#include <QPointer>
#include <QtTest>

#include <random>

namespace {

TaskState stateFromLetter(QChar c)
{
    switch (c.toLatin1()) {
    case 'I': return Idle;
    case 'R': return Running;
    case 'F': return Finished;
    case 'E': return ErrorCanceled;
    case 'U': return UserCanceled;
    }
    qFatal("bad state letter");
    return Idle;
}

QChar letterFromState(TaskState s)
{
    return QLatin1Char("IRFEU"[int(s)]);
}

// A composite "C" whose subtasks are named a, b, c, ... Subtasks are watched
// before they are added so that their own lines precede the composite's reaction.
struct Tree
{
    Tree(int maxParallel, double weight = 1.0)
        : composite(new FakeComposite(maxParallel, weight, nullptr))
    {
        recorder.watch(composite, "C");
    }
    ~Tree() { delete composite; }

    FakeTask* add(double weight, FakeTask::OnExecute onExecute = FakeTask::Wait)
    {
        auto* task = new FakeTask(composite, weight, onExecute);
        recorder.watch(task, QString(QLatin1Char('a' + leaves.size())));
        leaves.append(task);
        composite->addSubTask(task);
        return task;
    }
    FakeTask* leaf(const QString& name) const { return leaves.value(name.at(0).toLatin1() - 'a'); }
    QString states() const
    {
        QString s;
        for (FakeTask* t : leaves)
            s += letterFromState(t->state);
        return s;
    }
    int executed() const
    {
        int n = 0;
        for (FakeTask* t : leaves)
            n += t->executeCount;
        return n;
    }

    FakeComposite* composite;
    QList<FakeTask*> leaves;
    SignalRecorder recorder;
};

const QStringList endings = {"finished", "canceled", "otherTaskCancelled"};

} // namespace

class TestComposedTaskSpecification : public QObject
{
    Q_OBJECT
private slots:
    void emptyCompositeFinishesInsideExecute();
    void boundedParallelStart_data();
    void boundedParallelStart();
    void synchronousEndDoesNotStartNextInSameCall();
    void cancelMatrix_data();
    void cancelMatrix();
    void sidewaysCancelReachesEveryRunningLeafOnce();
    void outcomeFromSubTasks_data();
    void outcomeFromSubTasks();
    void userCanceledOnIdleCompositeOnlySetsFlag();
    void forwardsTextsUnchanged();
    void addSubTaskEmitsWeightedSum_data();
    void addSubTaskEmitsWeightedSum();
    void progressClimbsTheTree();
    void runningSumMatchesPlainSum();
    void timeTickSums_data();
    void timeTickSums();
    void resetAfterCanceledRun();
    void clearSubTasksDisconnectsAndDeletesLater();
};

void TestComposedTaskSpecification::emptyCompositeFinishesInsideExecute()
{
    Tree tree(2, 0.5);
    tree.composite->execute();
    QCOMPARE(tree.recorder.log, (QStringList{"C updateProgress 0.5", "C finished"}));
    QCOMPARE(tree.composite->state, Finished);
    QCOMPARE(tree.composite->subtasksDoneCount, 1);
    eventLoopTurn();
    QCOMPARE(tree.composite->subtasksDoneCount, 1);
}

void TestComposedTaskSpecification::boundedParallelStart_data()
{
    QTest::addColumn<int>("maxParallel");
    QTest::addColumn<int>("count");
    QTest::newRow("one at a time") << 1 << 3;
    QTest::newRow("two of five") << 2 << 5;
    QTest::newRow("bound equals count") << 3 << 3;
    QTest::newRow("bound above count") << 6 << 4;
}

// Each finish frees one slot, which is refilled one event-loop turn later, in
// order of addition; the composite ends in the turn after the last finish.
void TestComposedTaskSpecification::boundedParallelStart()
{
    QFETCH(int, maxParallel);
    QFETCH(int, count);

    Tree tree(maxParallel);
    for (int i = 0; i < count; ++i)
        tree.add(1.0 / count);

    tree.composite->execute();
    QCOMPARE(tree.composite->state, Running);
    QCOMPARE(tree.executed(), 0);
    eventLoopTurn();
    int started = qMin(count, maxParallel);
    QCOMPARE(tree.executed(), started);
    QCOMPARE(tree.composite->runningTasks.size(), started);

    for (int next = 0; next < count; ++next) {
        FakeTask* task = tree.leaves.at(next);
        QCOMPARE(task->state, Running);
        task->finish();
        QCOMPARE(tree.executed(), started);
        eventLoopTurn();
        if (started < count)
            ++started;
        QCOMPARE(tree.executed(), started);
        QVERIFY(tree.composite->runningTasks.size() <= maxParallel);
        for (int i = started; i < count; ++i)
            QCOMPARE(tree.leaves.at(i)->executeCount, 0);
    }
    QCOMPARE(tree.composite->state, Finished);
    QCOMPARE(tree.composite->subtasksDoneCount, 1);
    QCOMPARE(tree.composite->progress, 1.0);
}

void TestComposedTaskSpecification::synchronousEndDoesNotStartNextInSameCall()
{
    Tree tree(1);
    for (int i = 0; i < 3; ++i)
        tree.add(1.0 / 3, FakeTask::FinishAtOnce);
    tree.composite->execute();

    QStringList perTurn;
    for (int turn = 0; turn < 5; ++turn) {
        tree.recorder.clear();
        eventLoopTurn();
        perTurn.append(tree.recorder.lines(endings).join(", "));
    }
    QCOMPARE(perTurn, (QStringList{"a finished", "b finished", "c finished", "C finished", ""}));
    QCOMPARE(tree.composite->subtasksDoneCount, 1);
}

// kinds: W waits for the test, U cannot be interrupted (same as W, named for the
// reader), T behaves like a transfer (aborts on a user or a sibling cancel),
// X ends with an error inside its execute().
// actions: turn, userCanceled (on the composite), finish:x, error:x, user:x.
void TestComposedTaskSpecification::cancelMatrix_data()
{
    QTest::addColumn<int>("maxParallel");
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<QString>("expectedStates");
    QTest::addColumn<int>("expectedState");

    QTest::newRow("user cancel of two transfers: error beats user")
        << 2 << "TTW" << QStringList{"turn", "userCanceled"}
        << QStringList{"a canceled", "C otherTaskCancelled a", "b canceled", "C canceled"}
        << "UEI" << int(ErrorCanceled);
    QTest::newRow("uninterruptible subtask finishes after the cancel, others pending")
        << 1 << "UWW" << QStringList{"turn", "userCanceled", "finish:a", "turn"}
        << QStringList{"a finished", "C canceled"} << "FII" << int(UserCanceled);
    QTest::newRow("last subtask finishes despite the cancel")
        << 1 << "WU" << QStringList{"turn", "finish:a", "turn", "userCanceled", "finish:b", "turn"}
        << QStringList{"a finished", "b finished", "C finished"} << "FF" << int(Finished);
    QTest::newRow("two uninterruptible subtasks both finish despite the cancel")
        << 2 << "UU" << QStringList{"turn", "userCanceled", "finish:b", "turn", "finish:a", "turn"}
        << QStringList{"b finished", "a finished", "C finished"} << "FF" << int(Finished);
    QTest::newRow("sibling error, last running sibling finishes")
        << 3 << "UUUW" << QStringList{"turn", "error:a", "finish:b", "turn", "finish:c", "turn"}
        << QStringList{"a canceled", "C otherTaskCancelled a", "b finished", "c finished", "C canceled"}
        << "EFFI" << int(ErrorCanceled);
    QTest::newRow("sibling error, last running sibling cancels too")
        << 3 << "UUUW" << QStringList{"turn", "error:a", "finish:b", "turn", "user:c"}
        << QStringList{"a canceled", "C otherTaskCancelled a", "b finished", "c canceled", "C canceled"}
        << "EFUI" << int(ErrorCanceled);
    QTest::newRow("a user-canceled subtask cancels the composite by user")
        << 2 << "WWW" << QStringList{"turn", "user:b", "finish:a", "turn"}
        << QStringList{"b canceled", "C otherTaskCancelled b", "a finished", "C canceled"}
        << "FUI" << int(UserCanceled);
    QTest::newRow("transfer error cancels its running sibling transfer")
        << 2 << "TTT" << QStringList{"turn", "error:b"}
        << QStringList{"b canceled", "C otherTaskCancelled b", "a canceled", "C canceled"}
        << "EEI" << int(ErrorCanceled);
    QTest::newRow("error inside execute ends the composite in the same turn")
        << 1 << "XW" << QStringList{"turn"}
        << QStringList{"a canceled", "C otherTaskCancelled a", "C canceled"} << "EI" << int(ErrorCanceled);
}

void TestComposedTaskSpecification::cancelMatrix()
{
    QFETCH(int, maxParallel);
    QFETCH(QString, kinds);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, expectedLog);
    QFETCH(QString, expectedStates);
    QFETCH(int, expectedState);

    Tree tree(maxParallel);
    for (QChar kind : kinds) {
        FakeTask* task = tree.add(1.0 / kinds.size());
        task->abortOnUserCancel = task->abortOnOtherCancel = (kind == QLatin1Char('T'));
        if (kind == QLatin1Char('X'))
            task->onExecute = FakeTask::ErrorCancelAtOnce;
    }
    tree.composite->execute();

    bool userCanceled = false;
    for (const QString& action : actions) {
        if (action == "turn") {
            eventLoopTurn();
        } else if (action == "userCanceled") {
            tree.composite->userCanceled();
            userCanceled = true;
        } else {
            FakeTask* task = tree.leaf(action.section(':', 1));
            QVERIFY2(task && task->state == Running, qPrintable(action));
            const QString what = action.section(':', 0, 0);
            if (what == "finish")
                task->finish();
            else if (what == "error")
                task->errorCancel();
            else
                task->userCancel();
        }
    }
    // Nothing more may happen later.
    for (int i = 0; i < 3; ++i)
        eventLoopTurn();

    QCOMPARE(tree.recorder.lines(endings), expectedLog);
    QCOMPARE(tree.states(), expectedStates);
    QCOMPARE(int(tree.composite->state), expectedState);
    const bool ended = expectedState != Running;
    QCOMPARE(tree.composite->subtasksDoneCount, ended ? 1 : 0);
    for (FakeTask* task : tree.leaves) {
        QCOMPARE(task->executeCount, task->state == Idle ? 0 : 1);
        // A user cancel reaches every subtask once, pending and ended ones too.
        QCOMPARE(task->userCanceledCount, userCanceled ? 1 : 0);
        QCOMPARE(task->userCancelRequested, userCanceled);
    }
}

// R runs a, X and Y; X runs x0 (already finished), x1, x2 and has x3 pending;
// Y runs y1 and has y2 pending. When a fails, every running leaf below R hears
// of it exactly once, naming a; idle, ended and the failed task hear nothing.
void TestComposedTaskSpecification::sidewaysCancelReachesEveryRunningLeafOnce()
{
    FakeComposite root(3, 1.0, nullptr);
    auto* a = root.addFake(0.2);
    auto* x = new FakeComposite(3, 0.4, &root);
    root.addSubTask(x);
    auto* y = new FakeComposite(1, 0.4, &root);
    root.addSubTask(y);
    auto* x0 = x->addFake(0.25, FakeTask::FinishAtOnce);
    auto* x1 = x->addFake(0.25);
    auto* x2 = x->addFake(0.25);
    auto* x3 = x->addFake(0.25);
    auto* y1 = y->addFake(0.5);
    auto* y2 = y->addFake(0.5);

    root.execute();
    eventLoopTurn(); // root starts a, x, y; x and y queue their starts
    eventLoopTurn(); // x starts x0 (ends at once), x1, x2; y starts y1
    QCOMPARE(x0->state, Finished);
    QCOMPARE(x1->state, Running);
    QCOMPARE(x2->state, Running);
    QCOMPARE(y1->state, Running);

    a->errorCancel();

    const QList<TaskSpecification*> once{a};
    const QList<TaskSpecification*> none;
    QCOMPARE(a->otherCancelled, none);
    QCOMPARE(x0->otherCancelled, none);
    QCOMPARE(x1->otherCancelled, once);
    QCOMPARE(x2->otherCancelled, once);
    QCOMPARE(x3->otherCancelled, none);
    QCOMPARE(y1->otherCancelled, once);
    QCOMPARE(y2->otherCancelled, none);

    // Only R saw a cancel of its own: x and y run everything to the end, and R,
    // having started nothing after the cancel, ends with the error of a.
    x1->finish();
    x2->finish();
    y1->finish();
    for (int i = 0; i < 6; ++i)
        eventLoopTurn();
    y2->finish();
    x3->finish();
    for (int i = 0; i < 3; ++i)
        eventLoopTurn();
    QCOMPARE(x->state, Finished);
    QCOMPARE(y->state, Finished);
    QCOMPARE(root.state, ErrorCanceled);
    QCOMPARE(root.subtasksDoneCount, 1);
}

void TestComposedTaskSpecification::outcomeFromSubTasks_data()
{
    QTest::addColumn<QString>("states");
    QTest::addColumn<bool>("userCancelRequested");
    QTest::addColumn<bool>("subtaskCanceled");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("endState");

    QTest::newRow("no subtasks") << "" << false << false << int(Finished) << int(Finished);
    QTest::newRow("all finished") << "FF" << false << false << int(Finished) << int(Finished);
    QTest::newRow("all finished beats the user flag") << "FF" << true << false << int(Finished) << int(Finished);
    QTest::newRow("all finished beats the cancel flag") << "FF" << false << true << int(Finished) << int(Finished);
    QTest::newRow("error") << "FE" << false << false << int(ErrorCanceled) << int(ErrorCanceled);
    QTest::newRow("error after user") << "UE" << true << true << int(ErrorCanceled) << int(ErrorCanceled);
    QTest::newRow("error before user") << "EU" << false << true << int(ErrorCanceled) << int(ErrorCanceled);
    QTest::newRow("user-canceled subtask") << "FU" << false << true << int(UserCanceled) << int(UserCanceled);
    QTest::newRow("user-canceled subtask, rest idle") << "UI" << false << false << int(UserCanceled) << int(UserCanceled);
    QTest::newRow("user flag, rest idle") << "FI" << true << false << int(UserCanceled) << int(UserCanceled);
    QTest::newRow("user flag before cancel flag") << "FI" << true << true << int(UserCanceled) << int(UserCanceled);
    QTest::newRow("cancel flag, rest idle") << "FI" << false << true << int(ErrorCanceled) << int(ErrorCanceled);
    QTest::newRow("nothing decided") << "FI" << false << false << int(Running) << int(ErrorCanceled);
    QTest::newRow("still running") << "RF" << false << false << int(Running) << int(ErrorCanceled);
}

// subtasksDone() ends the composite from getStateFromSubTasks(); an undecided
// outcome ends it with an error.
void TestComposedTaskSpecification::outcomeFromSubTasks()
{
    QFETCH(QString, states);
    QFETCH(bool, userCancelRequested);
    QFETCH(bool, subtaskCanceled);
    QFETCH(int, expected);
    QFETCH(int, endState);

    FakeComposite composite(1, 1.0, nullptr);
    for (QChar s : states)
        composite.addFake(1.0)->state = stateFromLetter(s);
    composite.userCancelRequested = userCancelRequested;
    composite.subtaskCanceled = subtaskCanceled;
    composite.state = Running;

    QCOMPARE(int(composite.getStateFromSubTasks()), expected);
    composite.subtasksDone();
    QCOMPARE(int(composite.state), endState);
}

void TestComposedTaskSpecification::userCanceledOnIdleCompositeOnlySetsFlag()
{
    Tree tree(1);
    tree.add(0.5);
    tree.add(0.5);
    tree.composite->userCanceled();
    QCOMPARE(tree.composite->userCancelRequested, true);
    for (FakeTask* task : tree.leaves) {
        QCOMPARE(task->userCanceledCount, 0);
        QCOMPARE(task->userCancelRequested, false);
    }
}

void TestComposedTaskSpecification::forwardsTextsUnchanged()
{
    FakeComposite root(1, 1.0, nullptr, "starting root");
    auto* inner = new FakeComposite(1, 1.0, &root, "starting inner");
    root.addSubTask(inner);
    auto* leaf = inner->addFake(1.0);
    SignalRecorder recorder;
    recorder.watch(&root, "R");

    root.execute();
    eventLoopTurn();
    eventLoopTurn();
    emit leaf->message("line %1 stays");
    emit leaf->error("an error text");
    QCOMPARE(recorder.withoutProgress(),
             (QStringList{"R message starting root", "R message starting inner", "R message line %1 stays",
                          "R error an error text"}));
}

void TestComposedTaskSpecification::addSubTaskEmitsWeightedSum_data()
{
    QTest::addColumn<double>("weight");
    QTest::addColumn<QList<double>>("subWeights");
    QTest::addColumn<QList<double>>("subFractions");
    QTest::addColumn<QStringList>("expectedLog");

    QTest::newRow("fresh subtasks") << 0.5 << QList<double>{0.5, 0.5} << QList<double>{0.0, 0.0}
                                    << QStringList{"C updateProgress 0", "C updateProgress 0"};
    QTest::newRow("half-done subtask of weight 0.4")
        << 0.5 << QList<double>{0.4} << QList<double>{0.5} << QStringList{"C updateProgress 0.1"};
    QTest::newRow("progress already made adds up")
        << 0.5 << QList<double>{0.5, 0.25, 0.25} << QList<double>{0.4, 1.0, 0.0}
        << QStringList{"C updateProgress 0.1", "C updateProgress 0.225", "C updateProgress 0.225"};
}

void TestComposedTaskSpecification::addSubTaskEmitsWeightedSum()
{
    QFETCH(double, weight);
    QFETCH(QList<double>, subWeights);
    QFETCH(QList<double>, subFractions);
    QFETCH(QStringList, expectedLog);

    Tree tree(1, weight);
    for (int i = 0; i < subWeights.size(); ++i) {
        auto* task = new FakeTask(nullptr, subWeights.at(i));
        task->setProgress(subFractions.at(i));
        task->setParent(tree.composite);
        tree.composite->addSubTask(task);
    }
    QCOMPARE(tree.recorder.log, expectedLog);
    QCOMPARE(tree.composite->state, Idle);
}

void TestComposedTaskSpecification::progressClimbsTheTree()
{
    FakeComposite root(1, 1.0, nullptr);
    auto* mid = new FakeComposite(2, 0.5, &root);
    auto* left = mid->addFake(0.4);
    auto* right = mid->addFake(0.6);
    SignalRecorder recorder;
    recorder.watch(&root, "R");
    recorder.watch(mid, "M");
    root.addSubTask(mid);
    recorder.clear();

    root.execute();
    eventLoopTurn();
    eventLoopTurn();
    left->setProgress(0.5);
    right->setProgress(0.5);
    left->finish();
    right->finish();
    eventLoopTurn();
    eventLoopTurn();
    QCOMPARE(recorder.lines({"updateProgress", "finished"}),
             (QStringList{"M updateProgress 0.1", "R updateProgress 0.1", "M updateProgress 0.25",
                          "R updateProgress 0.25", "M updateProgress 0.35", "R updateProgress 0.35",
                          "M updateProgress 0.5", "R updateProgress 0.5", "M updateProgress 0.5",
                          "R updateProgress 0.5", "M finished", "R updateProgress 1", "R finished"}));
}

// The composite keeps a running sum; whatever happens to its subtasks, its value
// must stay the plain sum of their weighted progress times its own weight.
void TestComposedTaskSpecification::runningSumMatchesPlainSum()
{
    const double weight = 0.7;
    FakeComposite composite(4, weight, nullptr);
    double lastEmitted = -1;
    QObject::connect(&composite, &TaskSpecification::updateProgress, [&](qreal v) { lastEmitted = v; });

    std::mt19937 random(20261211);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    int checks = 0;
    auto verifySum = [&](const char* where) {
        double plain = 0;
        for (TaskSpecification* t : composite.subTasks)
            plain += t->progress;
        plain *= weight;
        ++checks;
        QVERIFY2(qAbs(composite.progress - plain) < 1e-9,
                 qPrintable(QString("%1: composite %2, plain sum %3").arg(where).arg(composite.progress, 0, 'g', 17)
                                .arg(plain, 0, 'g', 17)));
        QVERIFY2(lastEmitted == composite.progress, where);
    };
    auto build = [&](int n) {
        QList<double> weights;
        double total = 0;
        for (int i = 0; i < n; ++i) {
            weights.append(0.1 + fraction(random));
            total += weights.last();
        }
        for (double w : weights)
            composite.addFake(w / total);
    };

    build(200);
    verifySum("after build");
    composite.execute();
    for (int round = 0; round < 3; ++round) {
        for (int step = 0; step < 4000; ++step) {
            eventLoopTurn();
            if (composite.runningTasks.isEmpty())
                break;
            auto* task = static_cast<FakeTask*>(composite.runningTasks.at(int(random() % composite.runningTasks.size())));
            const double r = fraction(random);
            if (r < 0.05)
                task->finish();
            else if (r < 0.06)
                task->reset(); // a subtask restarting on its own
            else
                task->setProgress(fraction(random));
            if (task->state == Idle)
                task->execute();
            verifySum("during the run");
            if (QTest::currentTestFailed())
                return;
        }
        if (round == 0) {
            composite.reset();
            verifySum("after reset");
            composite.execute();
        } else if (round == 1) {
            composite.clearSubTasks();
            flushDeferredDeletes();
            composite.subtaskCanceled = composite.subtasksDoneCalled = false;
            composite.TaskSpecification::reset();
            verifySum("after clearSubTasks");
            build(57);
            verifySum("after rebuild");
            composite.execute();
        }
    }
    QVERIFY2(checks > 1000, "the sequence must exercise many updates");
}

void TestComposedTaskSpecification::timeTickSums_data()
{
    QTest::addColumn<QList<QList<quint64>>>("figures"); // done, total, delta, active per subtask
    QTest::addColumn<QList<quint64>>("initial");        // done, total, delta, active passed in
    QTest::addColumn<QList<quint64>>("expected");

    QTest::newRow("example") << QList<QList<quint64>>{{10, 100, 5, 0}, {0, 0, 7, 0}, {20, 50, 0, 0}}
                             << QList<quint64>{0, 0, 0, 0} << QList<quint64>{30, 150, 12, 0};
    QTest::newRow("one active transfer") << QList<QList<quint64>>{{10, 100, 5, 0}, {3, 9, 1, 1}, {0, 0, 0, 0}}
                                         << QList<quint64>{0, 0, 0, 0} << QList<quint64>{13, 109, 6, 1};
    QTest::newRow("no total, done is not counted") << QList<QList<quint64>>{{10, 0, 4, 1}}
                                                   << QList<quint64>{0, 0, 0, 0} << QList<quint64>{0, 0, 4, 1};
    QTest::newRow("adds to what the caller passes, active starts false")
        << QList<QList<quint64>>{{1, 2, 3, 0}} << QList<quint64>{100, 200, 300, 1} << QList<quint64>{101, 202, 303, 0};
    QTest::newRow("no subtasks") << QList<QList<quint64>>{} << QList<quint64>{0, 0, 0, 1} << QList<quint64>{0, 0, 0, 0};
}

void TestComposedTaskSpecification::timeTickSums()
{
    QFETCH(QList<QList<quint64>>, figures);
    QFETCH(QList<quint64>, initial);
    QFETCH(QList<quint64>, expected);

    FakeComposite root(1, 1.0, nullptr);
    // Nested once, so the inner composite's own sums feed the outer one.
    auto* inner = new FakeComposite(1, 1.0, &root);
    root.addSubTask(inner);
    for (const auto& f : figures)
        inner->addFake(1.0)->setTickFigures(f[0], f[1], f[2], f[3] != 0);

    quint64 done = initial[0], total = initial[1], delta = initial[2];
    bool active = initial[3] != 0;
    root.timeTick(done, total, delta, active);
    QCOMPARE(done, expected[0]);
    QCOMPARE(total, expected[1]);
    QCOMPARE(delta, expected[2]);
    QCOMPARE(active, expected[3] != 0);
}

void TestComposedTaskSpecification::resetAfterCanceledRun()
{
    Tree tree(2, 0.5);
    auto* a = tree.add(0.5);
    auto* b = tree.add(0.25);
    auto* c = tree.add(0.25);
    tree.composite->execute();
    eventLoopTurn();
    a->setProgress(0.5);
    a->errorCancel();
    b->finish();
    eventLoopTurn();
    QCOMPARE(tree.composite->state, ErrorCanceled);
    QVERIFY(tree.composite->subtaskCanceled);
    QVERIFY(tree.composite->subtasksDoneCalled);

    tree.recorder.clear();
    tree.composite->reset();
    QCOMPARE(tree.composite->state, Idle);
    QCOMPARE(tree.composite->subtaskCanceled, false);
    QCOMPARE(tree.composite->subtasksDoneCalled, false);
    QCOMPARE(tree.composite->pendingTasks, tree.composite->subTasks);
    QVERIFY(tree.composite->runningTasks.isEmpty());
    QCOMPARE(tree.states(), QString("III"));
    for (FakeTask* t : tree.leaves)
        QCOMPARE(t->resetCount, 1);
    QCOMPARE(tree.recorder.log.last(), QString("C updateProgress 0"));
    QCOMPARE(tree.composite->progress, 0.0);

    // The same subtasks run again, in order, and the composite finishes.
    tree.composite->execute();
    tree.recorder.clear();
    eventLoopTurn();
    a->finish();
    b->finish();
    eventLoopTurn();
    c->finish();
    eventLoopTurn();
    QCOMPARE(tree.recorder.lines(endings), (QStringList{"a finished", "b finished", "c finished", "C finished"}));
    QCOMPARE(tree.composite->progress, 0.5);
}

void TestComposedTaskSpecification::clearSubTasksDisconnectsAndDeletesLater()
{
    Tree tree(1);
    QPointer<FakeTask> a = tree.add(0.5);
    QPointer<FakeTask> b = tree.add(0.5);
    tree.composite->execute();
    eventLoopTurn();
    a->setProgress(0.5);
    tree.composite->subtaskCanceled = true; // the flags are not the clearing's business
    tree.composite->clearSubTasks();

    QVERIFY(tree.composite->subTasks.isEmpty());
    QVERIFY(tree.composite->pendingTasks.isEmpty());
    QVERIFY(tree.composite->runningTasks.isEmpty());
    QCOMPARE(tree.composite->subtaskCanceled, true);
    QVERIFY2(a && b, "subtasks are deleted later, not at once");

    // The discarded subtasks reach the composite no more.
    tree.recorder.clear();
    emit a->message("stale");
    a->finish();
    eventLoopTurn();
    QCOMPARE(tree.recorder.log.filter(QRegularExpression("^C ")), QStringList());
    emit tree.composite->otherTaskCancelled(b);
    QCOMPARE(tree.recorder.withoutProgress(), (QStringList{"a message stale", "a finished", "C otherTaskCancelled b"}));
    QCOMPARE(a->otherCancelled, QList<TaskSpecification*>());
    QCOMPARE(tree.composite->state, Running);

    flushDeferredDeletes();
    QVERIFY2(!a && !b, "subtasks must be gone after the deferred deletion");

    // Rebuilt subtasks start from a clean sum.
    tree.composite->subtaskCanceled = false;
    tree.composite->TaskSpecification::reset();
    auto* c = tree.composite->addFake(1.0);
    tree.composite->execute();
    eventLoopTurn();
    c->setProgress(0.25);
    QCOMPARE(tree.composite->progress, 0.25);
    c->finish();
    eventLoopTurn();
    QCOMPARE(tree.composite->state, Finished);
}

QTEST_GUILESS_MAIN(TestComposedTaskSpecification)
#include "tst_composedtaskspecification.moc"
