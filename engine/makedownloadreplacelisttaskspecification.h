// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/asynctaskspecification.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QSharedPointer>
#include <QtGlobal>

class Configuration;
class QSettings;

// One file to fetch: mirror path dir + "/" + fileName, stored below the
// temporary directory as fileName, expected to be size bytes with sum md5.
struct FileDownloadSpecification
{
    QString dir;
    QString fileName;
    QString md5;
    qint64 size = 0;
};

// One file to install from the temporary directory. md5, size and
// unzipFileName describe the decompressed file and are empty / 0 for a file
// installed as stored.
struct FileReplaceSpecification
{
    QString dir;
    QString fileName;
    QString md5;
    qint64 size = 0;
    QString unzipFileName;

    bool hasUnzip() const;
    // Path of the installed file relative to the installation directory.
    QString pureDestFilePath() const;
    // pureDestFilePath() with prefix put before its last component.
    QString destFileName(const QString& prefix) const;
    // Name the installed file is set aside under while it is replaced.
    QString oldDestFileName() const;
};

// The three lists of one update run, in the order the entries were found.
struct FileSpecifications
{
    QList<FileDownloadSpecification> downloadList;
    QList<FileReplaceSpecification> replaceList;
    QStringList deleteList;

    void clear();
};

// Compares the product ini with the installation and the temporary directory
// on a pool thread and fills the lists it shares with its task. Holds copies of
// the configuration facts it needs; nothing of the configuration is read on the
// worker thread.
class MakeDownloadReplaceListFunc : public ASyncFunc
{
    Q_OBJECT
public:
    MakeDownloadReplaceListFunc(Configuration* configuration,
                                const QSharedPointer<FileSpecifications>& specifications);

    // Number of keys over all sections, the delete section included.
    static int getFileCount(QSettings& settings);

public slots:
    bool run() override;

private:
    QString m_tempDir;
    QString m_clientType;
    QString m_appRootPath;
    QSharedPointer<FileSpecifications> m_specifications;
};

// Builds the download, replace and delete lists of a run. The caller's
// specifications must outlive the task; they are replaced only by a successful
// run and left untouched by a failed one.
class MakeDownloadReplaceListTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    MakeDownloadReplaceListTaskSpecification(Configuration* configuration, FileSpecifications& specifications,
                                             QObject* parent, double weight);

public slots:
    ASyncFunc* createFunction() override;
    void runDone(bool ok) override;

private:
    Configuration* m_configuration;
    FileSpecifications& m_destSpecifications;
    // Shared with the worker so that a task deleted mid-run leaves it valid
    // lists to write; each execution gets fresh ones.
    QSharedPointer<FileSpecifications> m_specifications;
};
