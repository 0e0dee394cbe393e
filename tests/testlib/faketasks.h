// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/composedtaskspecification.h"
#include "tasks/taskspecification.h"

#include <QList>
#include <QString>

// A leaf task driven by the test. execute() sets Running and counts the call;
// depending on onExecute it then waits for the test (Wait) or ends at once,
// inside execute(), the way the fast file operations do.
//
// Reactions to cancels: by default the leaf behaves like uninterruptible work
// (a user cancel only sets the flag, a sibling's cancel is ignored). With
// abortOnUserCancel it ends UserCanceled as soon as userCanceled() reaches it
// while Running, and with abortOnOtherCancel it ends ErrorCanceled when told of a
// sibling's cancel: that is how transfers behave.
//
// The test ends a waiting leaf with the public finish(), errorCancel(),
// userCancel() and reports progress with setProgress().
class FakeTask : public TaskSpecification
{
    Q_OBJECT
public:
    enum OnExecute {
        Wait,
        FinishAtOnce,
        ErrorCancelAtOnce,
        UserCancelAtOnce
    };

    FakeTask(QObject* parent, double weight, OnExecute onExecute = Wait);

    // Figures reported by timeTick() (all zero / false by default).
    void setTickFigures(quint64 done, quint64 total, quint64 delta, bool active);

    OnExecute onExecute;
    bool abortOnUserCancel;
    bool abortOnOtherCancel;

    int executeCount;
    int resetCount;
    int userCanceledCount;
    // Argument of every handleOtherTaskCancelled() call, in order.
    QList<TaskSpecification*> otherCancelled;

public slots:
    void execute() override;
    void reset() override;
    void timeTick(quint64& done, quint64& total, quint64& delta, bool& active) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;

private:
    quint64 m_done;
    quint64 m_total;
    quint64 m_delta;
    bool m_active;
};

// The smallest concrete composite: execute() emits an optional start message and
// runs the subtasks added so far. Counts subtasksDone() calls.
class FakeComposite : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FakeComposite(int maxParallel, double weight, QObject* parent, const QString& startMessage = QString());

    // Adds a new FakeTask owned by this composite and returns it.
    FakeTask* addFake(double weight, FakeTask::OnExecute onExecute = FakeTask::Wait);

    QString startMessage;
    int subtasksDoneCount;

public slots:
    void execute() override;
    void subtasksDone() override;
};

// Delivers the events posted so far, but none posted while doing so: exactly one
// turn of the event loop for queued calls such as a composite's next start.
void eventLoopTurn();
// Deletes every object whose deleteLater() was called.
void flushDeferredDeletes();
