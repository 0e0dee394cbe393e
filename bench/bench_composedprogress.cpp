// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
//
// Cost of one progress update in a composite with many subtasks, as in the
// download list of a large release: up to 6 subtasks run at once and each
// reports its progress in many steps. The composite's running sum is compared
// with a composite that adds up all its subtasks on every update.
#include "tasks/composedtaskspecification.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>

namespace {

class StepLeaf : public TaskSpecification
{
    Q_OBJECT
public:
    StepLeaf(QObject* parent, double weight)
        : TaskSpecification(parent, weight)
    {
    }
    int step = 0;

public slots:
    void execute() override
    {
        state = Running;
        step = 0;
    }
};

class RunningSumComposite : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    RunningSumComposite(int maxParallel, double weight, QObject* parent)
        : ComposedTaskSpecification(maxParallel, weight, parent)
    {
    }

public slots:
    void execute() override { executeSubTasks(); }
};

// The baseline: every update walks all subtasks.
class PlainSumComposite : public RunningSumComposite
{
    Q_OBJECT
public:
    using RunningSumComposite::RunningSumComposite;

public slots:
    void connectSignals(TaskSpecification* task) override
    {
        ComposedTaskSpecification::connectSignals(task);
        disconnect(task, SIGNAL(updateProgress(qreal)), this, nullptr);
        connect(task, SIGNAL(updateProgress(qreal)), this, SLOT(onPlainUpdate(qreal)));
    }

private slots:
    void onPlainUpdate(qreal)
    {
        double sum = 0;
        for (TaskSpecification* t : subTasks)
            sum += t->progress;
        setProgress(sum);
    }
};

// Runs the composite to its end, giving every running subtask one step per
// event-loop turn; returns the number of progress updates made.
qint64 drive(ComposedTaskSpecification* composite, int steps)
{
    qint64 updates = 0;
    composite->execute();
    QCoreApplication::sendPostedEvents();
    while (composite->state == Running) {
        const QList<TaskSpecification*> running = composite->runningTasks;
        for (TaskSpecification* t : running) {
            auto* leaf = static_cast<StepLeaf*>(t);
            if (++leaf->step < steps)
                leaf->setProgress(double(leaf->step) / steps);
            else
                leaf->finish();
            ++updates;
        }
        QCoreApplication::sendPostedEvents();
    }
    return updates;
}

} // namespace

class BenchComposedProgress : public QObject
{
    Q_OBJECT
private slots:
    void progressUpdate_data();
    void progressUpdate();
    void cleanupTestCase();

private:
    QHash<QString, qint64> m_updates;
    QHash<QString, qint64> m_nanoseconds;
};

void BenchComposedProgress::progressUpdate_data()
{
    QTest::addColumn<bool>("plainSum");
    QTest::addColumn<int>("subtasks");
    QTest::addColumn<int>("steps");

    QTest::newRow("running sum, 100 subtasks") << false << 100 << 100;
    QTest::newRow("running sum, 10000 subtasks") << false << 10000 << 100;
    QTest::newRow("plain sum, 100 subtasks") << true << 100 << 100;
    // Fewer steps keep the quadratic baseline to about a second; the cost per
    // update does not depend on the number of steps.
    QTest::newRow("plain sum, 10000 subtasks") << true << 10000 << 10;
}

void BenchComposedProgress::progressUpdate()
{
    QFETCH(bool, plainSum);
    QFETCH(int, subtasks);
    QFETCH(int, steps);

    qint64 updates = 0;
    qint64 nanoseconds = 0;
    QBENCHMARK {
        RunningSumComposite* composite = plainSum ? new PlainSumComposite(6, 1.0, nullptr)
                                                  : new RunningSumComposite(6, 1.0, nullptr);
        for (int i = 0; i < subtasks; ++i)
            composite->addSubTask(new StepLeaf(composite, 1.0 / subtasks));
        QElapsedTimer timer;
        timer.start();
        updates += drive(composite, steps);
        nanoseconds += timer.nsecsElapsed();
        QVERIFY(composite->state == Finished);
        QVERIFY(qAbs(composite->progress - 1.0) < 1e-9);
        delete composite;
    }
    // QBENCHMARK may run the body several times and the test again; the figure
    // is the total over all of them.
    const QString tag = QTest::currentDataTag();
    m_updates[tag] += updates;
    m_nanoseconds[tag] += nanoseconds;
}

void BenchComposedProgress::cleanupTestCase()
{
    QHash<QString, double> perUpdate;
    for (auto it = m_updates.constBegin(); it != m_updates.constEnd(); ++it) {
        perUpdate.insert(it.key(), double(m_nanoseconds.value(it.key())) / double(it.value()));
        qInfo("%s: %.1f ns per progress update (%lld updates)", qPrintable(it.key()), perUpdate.value(it.key()),
              it.value());
    }
    const double small = perUpdate.value("running sum, 100 subtasks");
    const double large = perUpdate.value("running sum, 10000 subtasks");
    const double plainSmall = perUpdate.value("plain sum, 100 subtasks");
    const double plainLarge = perUpdate.value("plain sum, 10000 subtasks");
    if (small > 0 && large > 0)
        qInfo("running sum: cost per update at 10000 / at 100 subtasks = %.2f", large / small);
    if (plainSmall > 0 && plainLarge > 0)
        qInfo("plain sum:   cost per update at 10000 / at 100 subtasks = %.2f", plainLarge / plainSmall);
    if (large > 0 && plainLarge > 0)
        qInfo("at 10000 subtasks the plain sum costs %.1f times the running sum", plainLarge / large);
}

QTEST_GUILESS_MAIN(BenchComposedProgress)
#include "bench_composedprogress.moc"
