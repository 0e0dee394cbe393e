// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

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
