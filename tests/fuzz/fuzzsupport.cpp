// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
        std::abort();
    }
}

} // namespace

void fuzzInitApplication(int* argc, char*** argv)
{
    if (QCoreApplication::instance())
        return;
    qInstallMessageHandler(quietHandler);
    // Lives until the process ends; libFuzzer never returns from its loop.
    static QCoreApplication app(*argc, *argv);
}

QByteArray fuzzBytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

void fuzzWriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

void fuzzCheck(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz: property broken: %s\n", what);
    std::abort();
}
