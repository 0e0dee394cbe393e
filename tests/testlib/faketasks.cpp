// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "testlib/faketasks.h"

#include <QCoreApplication>
#include <QEvent>

FakeTask::FakeTask(QObject* parent, double weight, OnExecute onExecute)
    : TaskSpecification(parent, weight)
    , onExecute(onExecute)
    , abortOnUserCancel(false)
    , abortOnOtherCancel(false)
    , executeCount(0)
    , resetCount(0)
    , userCanceledCount(0)
    , m_done(0)
    , m_total(0)
    , m_delta(0)
    , m_active(false)
{
}

void FakeTask::setTickFigures(quint64 done, quint64 total, quint64 delta, bool active)
{
    m_done = done;
    m_total = total;
    m_delta = delta;
    m_active = active;
}

void FakeTask::execute()
{
    ++executeCount;
    state = Running;
    switch (onExecute) {
    case Wait:
        break;
    case FinishAtOnce:
        finish();
        break;
    case ErrorCancelAtOnce:
        errorCancel();
        break;
    case UserCancelAtOnce:
        userCancel();
        break;
    }
}

void FakeTask::reset()
{
    ++resetCount;
    TaskSpecification::reset();
}

void FakeTask::timeTick(quint64& done, quint64& total, quint64& delta, bool& active)
{
    done = m_done;
    total = m_total;
    delta = m_delta;
    active = m_active;
}

void FakeTask::userCanceled()
{
    ++userCanceledCount;
    TaskSpecification::userCanceled();
    if (abortOnUserCancel && state == Running)
        userCancel();
}

void FakeTask::handleOtherTaskCancelled(TaskSpecification* other)
{
    otherCancelled.append(other);
    if (abortOnOtherCancel)
        errorCancel();
}

FakeComposite::FakeComposite(int maxParallel, double weight, QObject* parent, const QString& startMessage)
    : ComposedTaskSpecification(maxParallel, weight, parent)
    , startMessage(startMessage)
    , subtasksDoneCount(0)
{
}

FakeTask* FakeComposite::addFake(double weight, FakeTask::OnExecute onExecute)
{
    auto* task = new FakeTask(this, weight, onExecute);
    addSubTask(task);
    return task;
}

void FakeComposite::execute()
{
    if (!startMessage.isEmpty())
        emit message(startMessage);
    executeSubTasks();
}

void FakeComposite::subtasksDone()
{
    ++subtasksDoneCount;
    ComposedTaskSpecification::subtasksDone();
}

void eventLoopTurn()
{
    QCoreApplication::sendPostedEvents();
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
