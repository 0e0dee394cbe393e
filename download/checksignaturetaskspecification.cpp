// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/checksignaturetaskspecification.h"

#include "download/tomcryptutil.h"

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
    // Streamed: release files may be far larger than memory allows.
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        emit message(QStringLiteral("Could not open file %1 for reading").arg(filePath));
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    const qint64 size = file.size();
    if (!hash.addData(&file) || file.pos() != size) {
        emit message(QStringLiteral("could not read file %1 correctly").arg(filePath));
        return false;
    }
    const QString sum = QString::fromLatin1(hash.result().toHex());
    return sum.compare(md5Sum, Qt::CaseInsensitive) == 0;
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
