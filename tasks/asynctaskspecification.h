// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/taskspecification.h"

#include <QObject>
#include <QRunnable>

// Work object run on a pool thread. Created without a parent on the event-loop
// thread; it must use only data copied into it and reports only through its
// signals, which reach the task through queued connections. Deleted on the pool
// thread right after run().
class ASyncFunc : public QObject
{
    Q_OBJECT
public:
    ASyncFunc();

    // Runs run() and emits runResult with its result. Worker thread.
    void execute();

public slots:
    virtual bool run() = 0;

signals:
    void runResult(bool res);
    void message(QString message);
    void error(QString errorMessage);
    void progress(qreal progress);
};

// Carries one ASyncFunc to the pool; owns it. Auto-deleted by the pool.
class ASyncRun : public QRunnable
{
public:
    explicit ASyncRun(ASyncFunc* func);
    ~ASyncRun() override;

    void run() override;

    ASyncFunc* func;
};

// A task whose work runs on QThreadPool::globalInstance(). A user cancel does not
// interrupt the work: the task ends with the work's own result.
class ASyncTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ASyncTaskSpecification(QObject* parent, double weight);

public slots:
    void execute() override;
    // Blocks until the whole pool is idle; a result still queued from the
    // interrupted execution is ignored afterwards.
    void reset() override;
    // Called once per execution on the event-loop thread; returns a new function
    // holding copies of everything the work needs.
    virtual ASyncFunc* createFunction() = 0;
    virtual void connectDefaultSignals(ASyncFunc* func);
    // Ignores a result when the task is no longer Running.
    virtual void runDone(bool ok);

protected slots:
    void onRunResult(bool res);
    void onProgress(qreal progress);
};
