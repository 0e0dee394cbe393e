// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include "tasks/asynctaskspecification.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Worker-thread check of one file: the MD5 sum when md5Sum is given (compared
// ignoring case), otherwise the RSA signature in filePath + ".sig" against the
// compiled-in key. crypt_init() must have run before. Reports problems through
// message().
class CheckSigFunc : public ASyncFunc
{
    Q_OBJECT
public:
    CheckSigFunc(const QString& filePath, const QString& md5Sum);

    // Usable directly (without a task) on any thread; the result is the verdict.
    bool run() override;
    // Streams an opened file through MD5 in large reads (installed trees and
    // release files can be far larger than memory). False when it could not be
    // read to its end.
    static bool md5OfFile(QFile& file, QByteArray& md5);

private:
    bool checkMD5();
    bool checkRSA();
    bool readFile(const QString& path, QByteArray& data);

    QString filePath;
    QString md5Sum;
};

// Decides whether a file is the one the release describes. Emits checkDone
// once per run with the verdict, before the task's own finished or canceled.
// A failed check cancels with error when cancelOnFailure, else finishes.
class CheckSignatureTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    // md5Sum empty selects the signature check.
    CheckSignatureTaskSpecification(const QString& filePath, const QString& md5Sum,
                                    bool cancelOnFailure, QObject* parent, double weight);

    QString checkedFile() const { return filePath; }

public slots:
    ASyncFunc* createFunction() override;
    void runDone(bool ok) override;

signals:
    void checkDone(bool pass, CheckSignatureTaskSpecification* task);

private:
    QString filePath;
    QString md5Sum;
    bool cancelOnFailure;
};
