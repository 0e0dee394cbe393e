// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/taskspecification.h"

#include <QHash>
#include <QList>

// Abstract task made of an ordered list of subtasks, run in order of addition with
// at most maxParallel at once. Owns its subtasks (QObject children). The start of a
// next subtask is always deferred through the event loop.
class ComposedTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ComposedTaskSpecification(int maxParallel, double weight, QObject* parent);
    ~ComposedTaskSpecification() override;

    // Takes a subtask created with this composite as parent; it becomes pending.
    void addSubTask(TaskSpecification* task);
    void executeSubTasks();
    TaskState getStateFromSubTasks() const;
    // Disconnects and deleteLater()s every subtask, then empties the lists.
    // The two once-only flags keep their values.
    void clearSubTasks();

    QList<TaskSpecification*> subTasks;
    QList<TaskSpecification*> pendingTasks;
    QList<TaskSpecification*> runningTasks;
    int maxParallel;
    bool subtaskCanceled;
    bool subtasksDoneCalled;

public slots:
    void reset() override;
    void timeTick(quint64& done, quint64& total, quint64& delta, bool& active) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    // Called at most once per run, when nothing is left running; the base ends the
    // composite according to getStateFromSubTasks().
    virtual void subtasksDone();
    virtual void connectSignals(TaskSpecification* task);

signals:
    void startNextTask();

private slots:
    void onStartNextTask();
    // The argument is ignored: recomputes the sum of all subtasks' progress and
    // emits it. Subtasks themselves are connected to onSubTaskProgress().
    void onUpdateProgress(qreal doneFrac);
    void onSubTaskFinished(TaskSpecification* task);
    void onSubTaskCanceled(TaskSpecification* task);

private:
    // Applies the change of one subtask's progress to the running sum: O(1).
    void onSubTaskProgress(TaskSpecification* task);
    double recomputeProgressSum();

    // The sum of the subtasks' weighted progress is kept up to date from each
    // subtask's last reported value, so an update does not walk all siblings.
    QHash<TaskSpecification*, double> m_knownProgress;
    double m_progressSum;
};
