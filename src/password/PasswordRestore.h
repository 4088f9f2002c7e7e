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

// The folder the file records being restored go into, reached without following links from
// the output folder: an open descriptor, or the system's error when it could not be opened
// or made (each file record then fails with that error's text).
struct RestoreFolder {
    int fd = -1;
    int error = 0;
};
