// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#pragma once

#include <exception>
#include <string>

#include <tomcrypt.h>

enum { PUBLIC_KEY_BUFFER_SIZE = 2048 };

// The release verification key (PKCS#1 RSAPublicKey DER), zero-padded to the buffer size.
extern const unsigned char PUBLIC_KEY[PUBLIC_KEY_BUFFER_SIZE];

typedef rsa_key Rsa_key;

// The only exception type of the updater; it never leaves the callers of
// these functions.
class crypt_exception : public std::exception
{
public:
    explicit crypt_exception(const std::string& text);
    const char* what() const noexcept override;

private:
    std::string text;
};

// Table indexes of SHA-1 and of the sprng generator, set by crypt_init().
extern int hash_idx;
extern int prng_idx;

// Registers sprng, the big-number provider and SHA-1. Call once on the
// event-loop thread before any check; throws crypt_exception. Idempotent.
void crypt_init();
// SHA-1 of in; writes 20 bytes to out.
void hash_msg(const unsigned char* in, unsigned long len, unsigned char* out);
// Imports a DER RSA key; the caller frees it with rsa_free on success.
void load_key(Rsa_key* key, const unsigned char* in, unsigned long len);
// True when sig is a valid RSA-PSS (SHA-1, salt length 8) signature of msg.
bool verify_msg(Rsa_key* key, const unsigned char* msg, unsigned long msgLen,
                unsigned char* sig, unsigned long sigLen);
// Throws crypt_exception("name: <library error text>") unless err is CRYPT_OK.
void check_err(const char* name, int err);
