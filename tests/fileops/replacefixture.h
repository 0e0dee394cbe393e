// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

// An installation directory and a download directory for replacement tests,
// and replace entries whose downloads are written into the latter.

#include "fileopstestutil.h"

#include "config/configuration.h"
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace fileopstest {

class ReplaceFixture
{
public:
    // installRoot: where the installation lives (a fresh directory if empty).
    explicit ReplaceFixture(const QString& installRoot = QString())
        : m_install(installRoot.isEmpty() ? m_installDir.path() : installRoot)
    {
        Configuration::overrideAppRootPathForTesting(m_install);
        configuration.m_tempDir = m_downloadDir.path();
    }
    ~ReplaceFixture() { Configuration::overrideAppRootPathForTesting(QString()); }

    QString install() const { return m_install; }
    QString downloads() const { return m_downloadDir.path(); }

    // An entry installed as name from content; compressed entries are stored
    // gzipped as name + ".gz". md5 is the installed file's sum unless given.
    FileReplaceSpecification entry(const QString& name, const QByteArray& content, bool compressed,
                                   const QString& md5 = QString())
    {
        FileReplaceSpecification e;
        e.dir = "client";
        if (compressed) {
            e.fileName = name + ".gz";
            e.unzipFileName = name;
            e.md5 = md5.isEmpty() ? QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex())
                                  : md5;
            e.size = content.size();
            writeFile(downloads() + "/" + e.fileName, gzipped(content));
        } else {
            e.fileName = name;
            writeFile(downloads() + "/" + e.fileName, content);
        }
        return e;
    }

    bool installed(const QString& name, const QByteArray& content)
    {
        return writeFile(m_install + "/" + name, content);
    }

    // name=content for files, name/ for directories, below the installation.
    QStringList contents() const
    {
        QStringList out;
        for (const QString& e : tree(m_install))
            out << (e.endsWith("/") ? e : e + "=" + QString::fromUtf8(readAll(m_install + "/" + e)));
        return out;
    }

    static int mode(const QString& path)
    {
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return -1;
        return int(st.st_mode & 07777);
    }

    Configuration configuration;

private:
    QTemporaryDir m_installDir;
    QTemporaryDir m_downloadDir;
    QString m_install;
};

} // namespace fileopstest
