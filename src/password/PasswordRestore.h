#pragma once
// What restoring a password package needs once its password is accepted: the derived key,
// the IV of the key-check block, the cipher and the layout. Buffers are larger than any
// cipher's key or IV, zero beyond what the package gave, and wiped when released.

#include <openssl/crypto.h>

#include <cstdint>

struct PasswordRestore {
    unsigned char key[128] = {};
    unsigned char iv[2000] = {};
    int cipherId = 0;
    int itemCount = 0;
    bool oldLayout = false;  // version "10": old key check, one time per file record

    PasswordRestore() = default;
    PasswordRestore(const PasswordRestore&) = delete;
    PasswordRestore& operator=(const PasswordRestore&) = delete;
    ~PasswordRestore() { OPENSSL_cleanse(key, sizeof key); }
};
