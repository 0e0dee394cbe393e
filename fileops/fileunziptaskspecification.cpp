// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fileops/fileunziptaskspecification.h"

#include <QFile>

#include <zlib.h>

namespace {
const int unzipBufferSize = 16384;
}

FileUnzipTaskSpecification::FileUnzipTaskSpecification(RollbackDataList* journal, const QString& source,
                                                       const QString& destination, QObject* parent,
                                                       double weight)
    : SlowFileOpSpecification(QString("Could not unzip '%1' to '%2'").arg(source, destination), journal, source,
                              destination, parent, weight)
{
}

ASyncFunc* FileUnzipTaskSpecification::createFunction()
{
    return new FileUnzipFunc(source, destination);
}

FileUnzipFunc::FileUnzipFunc(const QString& source, const QString& destination)
    : SlowFileOpFunc(source, destination)
{
}

bool FileUnzipFunc::run()
{
    const bool ok = unzipFile(destination, source);
    if (!ok)
        QFile::remove(destination);
    return ok;
}

bool FileUnzipFunc::unzipFile(const QString& outPath, const QString& gzPath)
{
    QFile out(outPath);
    // Unbuffered, so a short write (disk full) shows at the write that failed.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;

    gzFile in = gzopen(gzPath.toUtf8().constData(), "rb");
    if (!in) {
        out.close();
        out.remove();
        return false;
    }
    gzrewind(in);

    char buffer[unzipBufferSize];
    for (;;) {
        const int count = gzread(in, buffer, unzipBufferSize);
        if (count == 0) {
            // zlib tolerates a truncated stream in gzread (it returns 0 as at
            // the end); only gzerror and gzclose tell it from a complete one.
            int errnum = Z_OK;
            gzerror(in, &errnum);
            const int closeResult = gzclose(in);
            out.close();
            if (errnum == Z_OK && closeResult == Z_OK && out.error() == QFileDevice::NoError)
                return true;
            out.remove();
            return false;
        }
        if (count < 0 || out.write(buffer, count) != count) {
            gzclose(in);
            out.close();
            out.remove();
            return false;
        }
    }
}
