// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QFileInfo>

bool FileReplaceSpecification::hasUnzip() const
{
    return !unzipFileName.isEmpty();
}

QString FileReplaceSpecification::pureDestFilePath() const
{
    return hasUnzip() ? unzipFileName : fileName;
}

QString FileReplaceSpecification::destFileName(const QString& prefix) const
{
    const QString path = pureDestFilePath();
    if (prefix.isEmpty())
        return path;
    const QFileInfo info(path);
    const QString dirPart = info.path();
    const QString name = prefix + info.fileName();
    if (dirPart == QLatin1String("."))
        return name;
    return dirPart + QLatin1Char('/') + name;
}

QString FileReplaceSpecification::oldDestFileName() const
{
    return destFileName(QStringLiteral("_old_"));
}

void FileSpecifications::clear()
{
    downloadList.clear();
    replaceList.clear();
    deleteList.clear();
}
