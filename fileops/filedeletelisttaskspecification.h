// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/composedtaskspecification.h"

#include <QList>
#include <QString>

// Deletes every listed file (relative to the installation directory), one at a
// time, ignoring failures; always finishes. fileNames is not owned and is read
// only when the task executes.
class FileDeleteListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileDeleteListTaskSpecification(QList<QString>* fileNames, QObject* parent, double weight);

    void makeSubtasksAndStart();

    QList<QString>* fileNames;

public slots:
    void execute() override;
    void reset() override;
};
