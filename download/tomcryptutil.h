// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

enum { PUBLIC_KEY_BUFFER_SIZE = 2048 };

// The release verification key (PKCS#1 RSAPublicKey DER), zero-padded to the buffer size.
extern const unsigned char PUBLIC_KEY[PUBLIC_KEY_BUFFER_SIZE];
