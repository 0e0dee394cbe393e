// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/taskspecification.h"

TaskSpecification::TaskSpecification(QObject* parent, double weight)
    : QObject(parent)
    , userCancelRequested(false)
    , parentProgressRange(weight)
    , progress(0.0)
    , state(Idle)
{
}

void TaskSpecification::setProgress(double fraction)
{
    progress = fraction * parentProgressRange;
    emit updateProgress(progress);
}

void TaskSpecification::setParentProgressRange(double range)
{
    parentProgressRange = range;
}

void TaskSpecification::finish()
{
    state = Finished;
    setProgress(1.0);
    emit finished(this);
}

void TaskSpecification::errorCancel()
{
    state = ErrorCanceled;
    emit canceled(this);
}

void TaskSpecification::userCancel()
{
    state = UserCanceled;
    emit canceled(this);
}

void TaskSpecification::reset()
{
    userCancelRequested = false;
    state = Idle;
    setProgress(0.0);
}

void TaskSpecification::timeTick(quint64& done, quint64& total, quint64& delta, bool& active)
{
    done = 0;
    total = 0;
    delta = 0;
    active = false;
}

void TaskSpecification::userCanceled()
{
    userCancelRequested = true;
}

void TaskSpecification::handleOtherTaskCancelled(TaskSpecification*)
{
}

void TaskSpecification::onOtherTaskCancelled(TaskSpecification* other)
{
    if (other != this && state == Running)
        handleOtherTaskCancelled(other);
}
