// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/checksignaturetaskspecification.h"

#include "download/tomcryptutil.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QFile>

CheckSigFunc::CheckSigFunc(const QString& filePath, const QString& md5Sum)
    : filePath(filePath)
    , md5Sum(md5Sum)
{
}

bool CheckSigFunc::run()
{
    return md5Sum.isEmpty() ? checkRSA() : checkMD5();
}

bool CheckSigFunc::readFile(const QString& path, QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        emit message(QStringLiteral("Could not open file %1 for reading").arg(path));
        return false;
    }
    const qint64 size = file.size();
    data.resize(size);
    if (file.read(data.data(), size) != size) {
        emit message(QStringLiteral("could not read file %1 correctly").arg(path));
        return false;
    }
    file.close();
    return true;
}

bool CheckSigFunc::checkMD5()
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        emit message(QStringLiteral("Could not open file %1 for reading").arg(filePath));
        return false;
    }
    QByteArray md5;
    if (!md5OfFile(file, md5)) {
        emit message(QStringLiteral("could not read file %1 correctly").arg(filePath));
        return false;
    }
    return QString::fromLatin1(md5.toHex()).compare(md5Sum, Qt::CaseInsensitive) == 0;
}

bool CheckSigFunc::md5OfFile(QFile& file, QByteArray& md5)
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    static constexpr qint64 kChunk = 1 << 20;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    const qint64 size = file.size();
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), kChunk);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        hash.addData(QByteArrayView(buffer.constData(), n));
        total += n;
    }
    // A file that shrank while being read is not what was checked.
    if (total != size)
        return false;
    md5 = hash.result();
    return true;
}

bool CheckSigFunc::checkRSA()
{
    QByteArray content;
    if (!readFile(filePath, content))
        return false;
    QByteArray signature;
    if (!readFile(filePath + QStringLiteral(".sig"), signature))
        return false;
    Rsa_key key;
    try {
        load_key(&key, PUBLIC_KEY, PUBLIC_KEY_BUFFER_SIZE);
    } catch (const crypt_exception&) {
        return false;
    }
    bool valid = false;
    try {
        valid = verify_msg(&key,
                           reinterpret_cast<const unsigned char*>(content.constData()),
                           (unsigned long)content.size(),
                           reinterpret_cast<unsigned char*>(signature.data()),
                           (unsigned long)signature.size());
    } catch (const crypt_exception&) {
        valid = false;
    }
    rsa_free(&key);
    return valid;
}

CheckSignatureTaskSpecification::CheckSignatureTaskSpecification(const QString& filePath,
                                                                 const QString& md5Sum,
                                                                 bool cancelOnFailure,
                                                                 QObject* parent, double weight)
    : ASyncTaskSpecification(parent, weight)
    , filePath(filePath)
    , md5Sum(md5Sum)
    , cancelOnFailure(cancelOnFailure)
{
}

ASyncFunc* CheckSignatureTaskSpecification::createFunction()
{
    return new CheckSigFunc(filePath, md5Sum);
}

void CheckSignatureTaskSpecification::runDone(bool ok)
{
    if (state != Running)
        return;
    if (ok) {
        emit checkDone(true, this);
        finish();
        return;
    }
    emit message(QStringLiteral("Signature check failed for %1").arg(filePath));
    emit checkDone(false, this);
    if (cancelOnFailure)
        errorCancel();
    else
        finish();
}
