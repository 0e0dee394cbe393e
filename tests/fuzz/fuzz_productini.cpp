// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers

// The product ini as the list builder reads it, against a fixed installation
// (the target's own directory) and a fixed session directory. The lists must
// hold together, and building them must change no file.

#include "fuzzsupport.h"

#include "config/configuration.h"
#include "download/tomcryptutil.h"
#include "engine/makedownloadreplacelisttaskspecification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace {

const char ClientType[] = "client_linux_x86";

// Relative path -> content of every fixture file, installation and session.
QMap<QString, QByteArray> g_fixture;

QString sessionDir()
{
    return Configuration::getAppRootPath() + "/session";
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void createFixture()
{
    // Sums: readme.txt 9a0364b9e99bb480dd25e1f0284c8555 ("content"),
    // plugins/libx.so 5d41402abc4b2a76b9719d911017c592 ("hello").
    g_fixture.insert("readme.txt", "content");
    g_fixture.insert("plugins/libx.so", "hello");
    g_fixture.insert("old/obsolete.dat", "obsolete");
    g_fixture.insert("session/readme.txt", "content");
    g_fixture.insert("session/plugins/libx.so.gz", "not really gzip");
    const QString root = Configuration::getAppRootPath() + "/";
    for (auto it = g_fixture.cbegin(); it != g_fixture.cend(); ++it) {
        QDir().mkpath(QFileInfo(root + it.key()).path());
        fuzzWriteFile(root + it.key(), it.value());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInitApplication(argc, argv);
    // As the engine does before any run: an entry with an empty sum is checked
    // by signature.
    crypt_init();
    createFixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Configuration configuration;
    configuration.m_clientType = QString::fromLatin1(ClientType);
    configuration.m_tempDir = sessionDir();
    fuzzWriteFile(sessionDir() + "/" + ClientType + ".ini", fuzzBytes(data, size));

    QSharedPointer<FileSpecifications> lists(new FileSpecifications);
    lists->deleteList << "stale";
    MakeDownloadReplaceListFunc func(&configuration, lists);
    const bool ok = func.run();

    if (ok) {
        for (const FileDownloadSpecification& download : lists->downloadList) {
            bool replaced = false;
            for (const FileReplaceSpecification& replace : lists->replaceList)
                replaced = replaced || (replace.dir == download.dir && replace.fileName == download.fileName);
            fuzzCheck(replaced, "every downloaded file is also installed");
            fuzzCheck(download.size >= 0, "sizes are not negative");
        }
        for (const FileReplaceSpecification& replace : lists->replaceList) {
            fuzzCheck(replace.hasUnzip() == !replace.unzipFileName.isEmpty(), "unzip flag");
            fuzzCheck(replace.size >= 0, "sizes are not negative");
            const QString old = replace.oldDestFileName();
            fuzzCheck(QFileInfo(old).fileName().startsWith(QLatin1String("_old_")), "backup name");
        }
        for (const QString& path : lists->deleteList)
            fuzzCheck(path != QLatin1String("stale")
                          && QFileInfo::exists(Configuration::getAppRootPath() + "/" + path),
                      "only installed files are deleted, and the lists start empty");
    }

    const QString root = Configuration::getAppRootPath() + "/";
    for (auto it = g_fixture.cbegin(); it != g_fixture.cend(); ++it)
        fuzzCheck(readAll(root + it.key()) == it.value(), "building the lists changes no file");
    return 0;
}
