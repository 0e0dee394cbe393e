// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/composedtaskspecification.h"

ComposedTaskSpecification::ComposedTaskSpecification(int maxParallel, double weight, QObject* parent)
    : TaskSpecification(parent, weight)
    , maxParallel(maxParallel)
    , subtaskCanceled(false)
    , subtasksDoneCalled(false)
    , m_progressSum(0.0)
{
    connect(this, SIGNAL(startNextTask()), this, SLOT(onStartNextTask()), Qt::QueuedConnection);
}

ComposedTaskSpecification::~ComposedTaskSpecification()
{
    clearSubTasks();
}

void ComposedTaskSpecification::addSubTask(TaskSpecification* task)
{
    subTasks.append(task);
    pendingTasks.append(task);
    m_knownProgress.insert(task, task->progress);
    m_progressSum += task->progress;
    connectSignals(task);
    setProgress(m_progressSum);
}

void ComposedTaskSpecification::connectSignals(TaskSpecification* task)
{
    connect(task, SIGNAL(finished(TaskSpecification*)), this, SLOT(onSubTaskFinished(TaskSpecification*)));
    connect(task, SIGNAL(canceled(TaskSpecification*)), this, SLOT(onSubTaskCanceled(TaskSpecification*)));
    connect(task, SIGNAL(error(QString)), this, SIGNAL(error(QString)));
    // The subtask travels with the connection: sender() would walk every
    // connection made to this composite, an O(n) cost on every update.
    connect(task, &TaskSpecification::updateProgress, this, [this, task](qreal) { onSubTaskProgress(task); });
    connect(task, SIGNAL(message(QString)), this, SIGNAL(message(QString)));
    connect(this, SIGNAL(otherTaskCancelled(TaskSpecification*)), task, SLOT(onOtherTaskCancelled(TaskSpecification*)));
}

void ComposedTaskSpecification::executeSubTasks()
{
    state = Running;
    const int n = qMin(int(pendingTasks.size()), maxParallel);
    if (n == 0) {
        subtasksDone();
        return;
    }
    for (int i = 0; i < n; ++i)
        emit startNextTask();
}

void ComposedTaskSpecification::onStartNextTask()
{
    if (pendingTasks.isEmpty() || subtaskCanceled || userCancelRequested) {
        if (runningTasks.isEmpty() && !subtasksDoneCalled) {
            subtasksDoneCalled = true;
            subtasksDone();
        }
        return;
    }
    TaskSpecification* task = pendingTasks.takeFirst();
    runningTasks.append(task);
    task->execute();
}

void ComposedTaskSpecification::onSubTaskFinished(TaskSpecification* task)
{
    runningTasks.removeOne(task);
    emit startNextTask();
}

void ComposedTaskSpecification::onSubTaskCanceled(TaskSpecification* task)
{
    runningTasks.removeOne(task);
    if (!subtaskCanceled) {
        subtaskCanceled = true;
        emit otherTaskCancelled(task);
    }
    if (runningTasks.isEmpty() && !subtasksDoneCalled) {
        subtasksDoneCalled = true;
        subtasksDone();
    }
}

TaskState ComposedTaskSpecification::getStateFromSubTasks() const
{
    bool someUserCanceled = false;
    bool allFinished = true;
    for (TaskSpecification* task : subTasks) {
        if (task->state == ErrorCanceled)
            return ErrorCanceled;
        if (task->state == UserCanceled)
            someUserCanceled = true;
        if (task->state != Finished)
            allFinished = false;
    }
    if (someUserCanceled)
        return UserCanceled;
    if (allFinished)
        return Finished;
    if (userCancelRequested)
        return UserCanceled;
    if (subtaskCanceled)
        return ErrorCanceled;
    return Running;
}

void ComposedTaskSpecification::subtasksDone()
{
    switch (getStateFromSubTasks()) {
    case Finished:
        finish();
        break;
    case UserCanceled:
        userCancel();
        break;
    default:
        errorCancel();
        break;
    }
}

void ComposedTaskSpecification::onUpdateProgress(qreal)
{
    m_progressSum = recomputeProgressSum();
    setProgress(m_progressSum);
}

void ComposedTaskSpecification::onSubTaskProgress(TaskSpecification* task)
{
    auto known = m_knownProgress.find(task);
    if (known == m_knownProgress.end()) {
        onUpdateProgress(0);
        return;
    }
    m_progressSum += task->progress - known.value();
    known.value() = task->progress;
    setProgress(m_progressSum);
}

double ComposedTaskSpecification::recomputeProgressSum()
{
    double sum = 0.0;
    m_knownProgress.clear();
    for (TaskSpecification* task : subTasks) {
        m_knownProgress.insert(task, task->progress);
        sum += task->progress;
    }
    return sum;
}

void ComposedTaskSpecification::userCanceled()
{
    TaskSpecification::userCanceled();
    if (state != Running)
        return;
    for (TaskSpecification* task : subTasks)
        task->userCanceled();
}

void ComposedTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    emit otherTaskCancelled(other);
}

void ComposedTaskSpecification::reset()
{
    for (TaskSpecification* task : subTasks)
        task->reset();
    pendingTasks = subTasks;
    runningTasks.clear();
    subtaskCanceled = false;
    subtasksDoneCalled = false;
    // Starts the next run from an exact sum rather than the accumulated one.
    m_progressSum = recomputeProgressSum();
    TaskSpecification::reset();
}

void ComposedTaskSpecification::timeTick(quint64& done, quint64& total, quint64& delta, bool& active)
{
    active = false;
    for (TaskSpecification* task : subTasks) {
        quint64 d = 0, t = 0, s = 0;
        bool a = false;
        task->timeTick(d, t, s, a);
        if (a)
            active = true;
        delta += s;
        if (t != 0) {
            done += d;
            total += t;
        }
    }
}

void ComposedTaskSpecification::clearSubTasks()
{
    for (TaskSpecification* task : subTasks) {
        disconnect(task, nullptr, this, nullptr);
        disconnect(this, nullptr, task, nullptr);
        task->deleteLater();
    }
    subTasks.clear();
    pendingTasks.clear();
    runningTasks.clear();
    m_knownProgress.clear();
    m_progressSum = 0.0;
}
