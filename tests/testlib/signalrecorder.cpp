// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "testlib/signalrecorder.h"

#include "tasks/taskspecification.h"

SignalRecorder::SignalRecorder(QObject* parent)
    : QObject(parent)
{
}

void SignalRecorder::watch(TaskSpecification* task, const QString& name)
{
    m_names.insert(task, name);
    connect(task, SIGNAL(finished(TaskSpecification*)), this, SLOT(onFinished(TaskSpecification*)));
    connect(task, SIGNAL(canceled(TaskSpecification*)), this, SLOT(onCanceled(TaskSpecification*)));
    connect(task, SIGNAL(error(QString)), this, SLOT(onError(QString)));
    connect(task, SIGNAL(updateProgress(qreal)), this, SLOT(onUpdateProgress(qreal)));
    connect(task, SIGNAL(message(QString)), this, SLOT(onMessage(QString)));
    connect(task, SIGNAL(otherTaskCancelled(TaskSpecification*)), this,
            SLOT(onOtherTaskCancelled(TaskSpecification*)));
}

QStringList SignalRecorder::lines(const QStringList& signalNames) const
{
    QStringList result;
    for (const QString& line : log) {
        const QString signalName = line.section(QLatin1Char(' '), 1, 1).section(QLatin1Char('('), 0, 0);
        if (signalNames.contains(signalName))
            result.append(line);
    }
    return result;
}

QStringList SignalRecorder::withoutProgress() const
{
    QStringList result;
    for (const QString& line : log) {
        if (line.section(QLatin1Char(' '), 1, 1) != QLatin1String("updateProgress"))
            result.append(line);
    }
    return result;
}

QStringList SignalRecorder::take()
{
    QStringList result = log;
    log.clear();
    return result;
}

void SignalRecorder::clear()
{
    log.clear();
}

QString SignalRecorder::nameOf(const QObject* object) const
{
    const auto it = m_names.constFind(object);
    if (it != m_names.constEnd())
        return it.value();
    if (object && !object->objectName().isEmpty())
        return object->objectName();
    return QStringLiteral("?");
}

void SignalRecorder::record(const QString& signalName, const QString& argument)
{
    QString line = nameOf(sender()) + QLatin1Char(' ') + signalName;
    if (!argument.isNull())
        line += QLatin1Char(' ') + argument;
    log.append(line);
}

void SignalRecorder::recordTask(const QString& signalName, TaskSpecification* task)
{
    if (task == sender())
        record(signalName, QString());
    else
        record(signalName + QLatin1Char('(') + nameOf(task) + QLatin1Char(')'), QString());
}

void SignalRecorder::onFinished(TaskSpecification* task)
{
    recordTask(QStringLiteral("finished"), task);
}

void SignalRecorder::onCanceled(TaskSpecification* task)
{
    recordTask(QStringLiteral("canceled"), task);
}

void SignalRecorder::onError(QString errorMessage)
{
    record(QStringLiteral("error"), errorMessage);
}

void SignalRecorder::onUpdateProgress(qreal doneFrac)
{
    record(QStringLiteral("updateProgress"), QString::number(doneFrac, 'g', 6));
}

void SignalRecorder::onMessage(QString message)
{
    record(QStringLiteral("message"), message);
}

void SignalRecorder::onOtherTaskCancelled(TaskSpecification* task)
{
    record(QStringLiteral("otherTaskCancelled"), nameOf(task));
}
