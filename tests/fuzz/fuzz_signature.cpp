// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers

// The signature check on arbitrary file and ".sig" bytes. Input: a 2-byte
// little-endian length L, then the ".sig" file (L bytes, or what is left), then
// the checked file. Without the release private key no input may pass; the MD5
// check of the same file must agree with the file's own sum.

#include "fuzzsupport.h"

#include "download/checksignaturetaskspecification.h"
#include "download/tomcryptutil.h"

#include <QCoreApplication>
#include <QCryptographicHash>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInitApplication(argc, argv);
    crypt_init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t wanted = data[0] | (size_t(data[1]) << 8);
    const QByteArray rest = fuzzBytes(data + 2, size - 2);
    const QByteArray signature = rest.left(static_cast<qsizetype>(wanted));
    const QByteArray content = rest.mid(signature.size());

    const QString path = QCoreApplication::applicationDirPath() + "/product.ini";
    fuzzWriteFile(path, content);
    fuzzWriteFile(path + ".sig", signature);

    fuzzCheck(!CheckSigFunc(path, QString()).run(), "no forged signature passes");

    const QString sum = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    fuzzCheck(CheckSigFunc(path, sum.toUpper()).run(), "the file's own sum matches");
    QString wrong = sum;
    wrong[0] = wrong.at(0) == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    fuzzCheck(!CheckSigFunc(path, wrong).run(), "another sum does not match");
    return 0;
}
