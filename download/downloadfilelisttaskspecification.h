// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "engine/makedownloadreplacelisttaskspecification.h"
#include "tasks/composedtaskspecification.h"

#include <QList>

class Configuration;
class Mirrors;
class QNetworkAccessManager;

// Downloads every entry of the download list into the temporary directory,
// "streams" files at a time, each file carrying an equal share of the
// progress. The list is read when the task executes, so it may be filled
// after construction; it, the manager, the mirrors and the configuration
// outlive the task. Event-loop thread only.
class DownloadFileListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    DownloadFileListTaskSpecification(QList<FileDownloadSpecification>* fileList, QNetworkAccessManager* manager,
                                      Mirrors* mirrors, Configuration* configuration, QObject* parent,
                                      double weight);

public slots:
    void execute() override;
    // Drops the file tasks; the next execute() makes them afresh from the list.
    void reset() override;
    // Reports the size of the whole list as the total from the first tick on.
    void timeTick(quint64& done, quint64& total, quint64& delta, bool& active) override;

private:
    bool makeSubDirs();
    void makeSubtasksAndStart();

    QList<FileDownloadSpecification>* fileList;
    QNetworkAccessManager* manager;
    Mirrors* mirrors;
    Configuration* configuration;
    qint64 totalBytes;
};
