// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// Helpers shared by the fuzz targets. Everything runs on the one thread libFuzzer
// (or the replay driver) calls the target on.

// Creates the process's QCoreApplication once (from LLVMFuzzerInitialize) and
// silences Qt's debug and warning output; qFatal still aborts.
void fuzzInitApplication(int* argc, char*** argv);

// The input as a QByteArray (a deep copy).
QByteArray fuzzBytes(const uint8_t* data, size_t size);

// Writes data to path, replacing it; aborts when that fails, since the target
// would then test nothing.
void fuzzWriteFile(const QString& path, const QByteArray& data);

// Reports a broken property of the code under test and aborts, so that libFuzzer
// keeps the input and the replay fails.
void fuzzCheck(bool condition, const char* what);
