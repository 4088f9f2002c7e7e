#pragma once
// Cipher and digest identifiers, and the rule that picks them for a new secured file.

#include <string>

enum CipherId : int {
    kCipherDesOfb = 45,
    kCipherIdeaOfb = 46,  // the default
    kCipherDesEdeOfb = 62,
    kCipherPciCard = 120,
    kCipherIsaCard = 121,
    kCipherFurtherCard = 122,  // known, refused by this version
};

enum DigestId : int {
    kDigestMd5 = 8,
    kDigestSha0 = 42,  // the default signature digest
};

// In order of preference: the first entry of each list is the fallback of the selection rule.
constexpr int kSupportedCiphers[] = {kCipherIdeaOfb, kCipherDesEdeOfb, kCipherDesOfb, kCipherPciCard, kCipherIsaCard};
constexpr int kSupportedDigests[] = {kDigestMd5, kDigestSha0};

bool IsSupportedCipher(int id);
bool IsSupportedDigest(int id);

// `preferred` when it is supported, else the first supported cipher.
int ChooseCipher(int preferred);
// The digest named by the "SIgnID" setting text (decimal, as atoi reads it) when it is
// supported, else the first supported digest.
int ChooseDigest(const std::string& signIdSetting);

// Key and IV bytes that key generation produces for a cipher; 0 for an unknown identifier.
int CipherKeyLength(int id);
int CipherIvLength(int id);

// The configured default cipher of file encryption.
extern "C" int GetFerrowEncryptAlgorithm();
