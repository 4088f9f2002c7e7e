#pragma once
// What the cipher frame keeps between calls. Internal to the frame's own files.

#include <memory>
#include <string>

#include "engine/Cards.h"
#include "engine/CipherTable.h"
#include "engine/Korvane.h"
#include "platform/SslHandles.h"

struct CKorvane::CipherState {
    std::unique_ptr<SoftCipher> encrypt, decrypt;

    // Sign and verify contexts: the digest of the id (software keys) or SHA-1 (key devices).
    std::unique_ptr<MessageDigest> signDigest, verifyDigest;
    const DigestEntry* signEntry = nullptr;
    const DigestEntry* verifyEntry = nullptr;
    int signType = -1;  // the user's key type at sign-init; -1 before

    // A batch of signatures unlocks the signer's private key once: held from its first use to
    // the end of the batch, for that user only. Freeing the key clears its private numbers.
    // The user's key type is asked once per batch too.
    bool holdSignKey = false;
    PkeyPtr heldSignKey;
    std::string heldSignUser;
    int heldSignType = -1;

    PciCard pci;
    IsaCard isa;
};
