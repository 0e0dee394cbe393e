// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "engine/makedownloadreplacelisttaskspecification.h"

#include "config/configuration.h"
#include "download/checksignaturetaskspecification.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

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

namespace {

const char* const kDeleteSection = "delete";
const char* const kFieldSeparator = "::";

// Quiet: a missing or unreadable file is simply not up to date. An empty sum
// means the signature check, as for every other file check.
bool md5Matches(const QString& path, const QString& expected)
{
    if (expected.isEmpty())
        return CheckSigFunc(path, QString()).run();
    QFile file(path);
    QByteArray md5;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !CheckSigFunc::md5OfFile(file, md5))
        return false;
    return QString::fromLatin1(md5.toHex()).compare(expected, Qt::CaseInsensitive) == 0;
}

bool existsInInstallation(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

MakeDownloadReplaceListFunc::MakeDownloadReplaceListFunc(Configuration* configuration,
                                                         const QSharedPointer<FileSpecifications>& specifications)
    : m_tempDir(configuration->m_tempDir)
    , m_clientType(configuration->m_clientType)
    , m_appRootPath(Configuration::getAppRootPath())
    , m_specifications(specifications)
{
}

int MakeDownloadReplaceListFunc::getFileCount(QSettings& settings)
{
    int count = 0;
    const QStringList sections = settings.childGroups();
    for (const QString& section : sections) {
        settings.beginGroup(section);
        count += settings.allKeys().size();
        settings.endGroup();
    }
    return count;
}

bool MakeDownloadReplaceListFunc::run()
{
    FileSpecifications& specs = *m_specifications;
    specs.clear();
    const QString iniPath = m_tempDir + QLatin1Char('/') + m_clientType + QStringLiteral(".ini");
    emit message(QStringLiteral("Compiling download and replace list"));

    QSettings settings(iniPath, QSettings::IniFormat);
    const int n = getFileCount(settings);
    if (n == 0) {
        emit message(QStringLiteral("No files in product ini"));
        return false;
    }

    int k = 0;
    const QStringList sections = settings.childGroups();
    for (const QString& section : sections) {
        settings.beginGroup(section);
        const QStringList keys = settings.allKeys();
        if (section == QLatin1String(kDeleteSection)) {
            for (const QString& key : keys) {
                ++k;
                emit progress(qreal(k) / n);
                if (existsInInstallation(m_appRootPath + QLatin1Char('/') + key))
                    specs.deleteList.append(key);
            }
        } else {
            for (const QString& key : keys) {
                ++k;
                emit progress(qreal(k) / n);
                const QStringList fields = Configuration::settingText(settings, key).split(QLatin1String(kFieldSeparator));
                if (fields.size() != 2 && fields.size() != 5) {
                    emit message(QStringLiteral("Warning: product ini contains invalid line in section %1").arg(section));
                    return false;
                }
                FileDownloadSpecification download;
                download.dir = section;
                download.fileName = key;
                download.md5 = fields.at(0);
                download.size = qint64(fields.at(1).toULongLong());

                FileReplaceSpecification replace;
                replace.dir = section;
                replace.fileName = key;
                if (fields.size() == 5) {
                    replace.md5 = fields.at(2);
                    replace.size = qint64(fields.at(3).toULongLong());
                    replace.unzipFileName = fields.at(4);
                }

                const QString installed = m_appRootPath + QLatin1Char('/') + replace.destFileName(QString());
                const QString& installedMd5 = replace.hasUnzip() ? replace.md5 : download.md5;
                if (md5Matches(installed, installedMd5))
                    continue;
                specs.replaceList.append(replace);
                if (!md5Matches(m_tempDir + QLatin1Char('/') + key, download.md5))
                    specs.downloadList.append(download);
            }
        }
        settings.endGroup();
    }
    return true;
}

MakeDownloadReplaceListTaskSpecification::MakeDownloadReplaceListTaskSpecification(
    Configuration* configuration, FileSpecifications& specifications, QObject* parent, double weight)
    : ASyncTaskSpecification(parent, weight)
    , m_configuration(configuration)
    , m_destSpecifications(specifications)
    , m_specifications(new FileSpecifications)
{
}

ASyncFunc* MakeDownloadReplaceListTaskSpecification::createFunction()
{
    m_specifications.reset(new FileSpecifications);
    return new MakeDownloadReplaceListFunc(m_configuration, m_specifications);
}

void MakeDownloadReplaceListTaskSpecification::runDone(bool ok)
{
    if (ok)
        m_destSpecifications = *m_specifications;
    ASyncTaskSpecification::runDone(ok);
}
