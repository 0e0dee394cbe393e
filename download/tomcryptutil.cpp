// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
#include "download/tomcryptutil.h"

int hash_idx = -1;
int prng_idx = -1;

crypt_exception::crypt_exception(const std::string& text)
    : text(text)
{
}

const char* crypt_exception::what() const noexcept
{
    return text.c_str();
}

void crypt_init()
{
    if (register_prng(&sprng_desc) == -1)
        throw crypt_exception("Error registering sprng");
    ltc_mp = ltm_desc;
    if (register_hash(&sha1_desc) == -1)
        throw crypt_exception("Error registering sha1");
    hash_idx = find_hash("sha1");
    prng_idx = find_prng("sprng");
}

void check_err(const char* name, int err)
{
    if (err == CRYPT_OK)
        return;
    throw crypt_exception(std::string(name) + ": " + error_to_string(err));
}

void hash_msg(const unsigned char* in, unsigned long len, unsigned char* out)
{
    unsigned long outLen = 20;
    check_err("hash_memory", hash_memory(hash_idx, in, len, out, &outLen));
}

void load_key(Rsa_key* key, const unsigned char* in, unsigned long len)
{
    check_err("rsa_import", rsa_import(in, len, key));
}

bool verify_msg(Rsa_key* key, const unsigned char* msg, unsigned long msgLen,
                unsigned char* sig, unsigned long sigLen)
{
    unsigned char digest[20];
    hash_msg(msg, msgLen, digest);
    int valid = 0;
    check_err("rsa_verify_hash",
              rsa_verify_hash_ex(sig, sigLen, digest, sizeof digest, LTC_PKCS_1_PSS, hash_idx,
                                 8, &valid, key));
    return valid == 1;
}
