// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QObject>
#include <QString>

enum TaskState {
    Idle = 0,
    Running = 1,
    Finished = 2,
    ErrorCanceled = 3,
    UserCanceled = 4
};

// Abstract unit of work of an update run. Lives on the event-loop thread and is
// owned by its QObject parent. execute() must set Running and end the task later
// (or synchronously) with exactly one of finish(), errorCancel(), userCancel().
class TaskSpecification : public QObject
{
    Q_OBJECT
public:
    TaskSpecification(QObject* parent, double weight);

    void setProgress(double fraction);
    void setParentProgressRange(double range);
    void finish();
    void errorCancel();
    void userCancel();

    bool userCancelRequested;
    double parentProgressRange;
    // The weighted progress: last fraction times parentProgressRange.
    double progress;
    TaskState state;

public slots:
    virtual void execute() = 0;
    // Back to Idle, flag cleared, emits updateProgress(0).
    virtual void reset();
    // Byte counters of the subtree; the caller passes zeroes and false.
    virtual void timeTick(quint64& done, quint64& total, quint64& delta, bool& active);
    // Base only sets userCancelRequested; uninterruptible work runs to its end.
    virtual void userCanceled();
    virtual void handleOtherTaskCancelled(TaskSpecification* other);

signals:
    void finished(TaskSpecification* task);
    void canceled(TaskSpecification* task);
    void error(QString errorMessage);
    void updateProgress(qreal doneFrac);
    void message(QString message);
    // Carries the canceled task, not the emitter.
    void otherTaskCancelled(TaskSpecification* task);

protected slots:
    // Reacts only while Running and only to another task's cancel.
    void onOtherTaskCancelled(TaskSpecification* other);
};
