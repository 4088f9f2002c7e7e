#pragma once
// What the cipher frame keeps between calls. Internal to the frame's own files.

#include <memory>

#include "engine/Cards.h"
#include "engine/CipherTable.h"
#include "engine/Korvane.h"

struct CKorvane::CipherState {
    std::unique_ptr<SoftCipher> encrypt, decrypt;

    // Sign and verify contexts: the digest of the id (software keys) or SHA-1 (key devices).
    std::unique_ptr<MessageDigest> signDigest, verifyDigest;
    const DigestEntry* signEntry = nullptr;
    const DigestEntry* verifyEntry = nullptr;
    int signType = -1;  // the user's key type at sign-init; -1 before

    PciCard pci;
    IsaCard isa;
};
