// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "tasks/asynctaskspecification.h"

#include <QThreadPool>

ASyncFunc::ASyncFunc()
    : QObject(nullptr)
{
}

void ASyncFunc::execute()
{
    const bool ok = run();
    emit runResult(ok);
}

ASyncRun::ASyncRun(ASyncFunc* func)
    : func(func)
{
    setAutoDelete(true);
}

ASyncRun::~ASyncRun()
{
    delete func;
}

void ASyncRun::run()
{
    func->execute();
}

ASyncTaskSpecification::ASyncTaskSpecification(QObject* parent, double weight)
    : TaskSpecification(parent, weight)
{
}

void ASyncTaskSpecification::execute()
{
    ASyncFunc* func = createFunction();
    connectDefaultSignals(func);
    QThreadPool::globalInstance()->start(new ASyncRun(func), 0);
    state = Running;
}

void ASyncTaskSpecification::connectDefaultSignals(ASyncFunc* func)
{
    connect(func, SIGNAL(runResult(bool)), this, SLOT(onRunResult(bool)), Qt::QueuedConnection);
    connect(func, SIGNAL(message(QString)), this, SIGNAL(message(QString)), Qt::QueuedConnection);
    connect(func, SIGNAL(error(QString)), this, SIGNAL(error(QString)), Qt::QueuedConnection);
    connect(func, SIGNAL(progress(qreal)), this, SLOT(onProgress(qreal)), Qt::QueuedConnection);
}

void ASyncTaskSpecification::onRunResult(bool res)
{
    runDone(res);
}

void ASyncTaskSpecification::onProgress(qreal progress)
{
    setProgress(progress);
}

void ASyncTaskSpecification::runDone(bool ok)
{
    if (state != Running)
        return;
    if (ok)
        finish();
    else
        errorCancel();
}

void ASyncTaskSpecification::reset()
{
    QThreadPool::globalInstance()->waitForDone();
    TaskSpecification::reset();
}
