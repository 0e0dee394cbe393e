// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class TaskSpecification;

// Records the six signals of every watched task as one line each, in the order
// of emission, so a test can compare the whole log:
//   "a finished"                 finished(a) emitted by a
//   "a canceled"                 canceled(a) emitted by a
//   "a error <text>"
//   "a updateProgress <value>"   value printed with 6 significant digits
//   "a message <text>"
//   "c otherTaskCancelled a"     c broadcast the cancel of a
// A task argument other than the emitter itself is shown in parentheses
// ("a finished(b)"). Tasks are shown by the name given to watch(), else by
// objectName(), else "?". Connections are made when watch() is called, so a
// composite's forwarded message appears in the order its connections fire.
class SignalRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SignalRecorder(QObject* parent = nullptr);

    void watch(TaskSpecification* task, const QString& name);

    // Only the lines of the given signals, e.g. {"finished", "canceled"}.
    QStringList lines(const QStringList& signalNames) const;
    // All lines without updateProgress.
    QStringList withoutProgress() const;
    // Returns all lines and starts a new log.
    QStringList take();
    void clear();

    QStringList log;

private slots:
    void onFinished(TaskSpecification* task);
    void onCanceled(TaskSpecification* task);
    void onError(QString errorMessage);
    void onUpdateProgress(qreal doneFrac);
    void onMessage(QString message);
    void onOtherTaskCancelled(TaskSpecification* task);

private:
    QString nameOf(const QObject* object) const;
    void record(const QString& signalName, const QString& argument);
    void recordTask(const QString& signalName, TaskSpecification* task);

    QHash<const QObject*, QString> m_names;
};
