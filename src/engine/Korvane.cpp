#include "engine/Korvane.h"

#include <cstring>

#include "engine/Identifiers.h"
#include "engine/Options.h"

CKorvane::CKorvane() : CKorvane(EngineContext{}) {}

CKorvane::CKorvane(const EngineContext& context) : m_context(context) {
    static const unsigned char kFieldKey[16] = {0x5A, 0x91, 0x3C, 0xE7, 0x08, 0xB4, 0x6F, 0x21,
                                                0xD3, 0x47, 0x9E, 0x12, 0xC8, 0x75, 0x2B, 0xF0};
    for (size_t i = 0; i < sizeof m_fieldKey; ++i) m_fieldKey[i] = kFieldKey[i];
}

CKorvane::~CKorvane() {}

void CKorvane::GetEncryptAlgorithmID(int* ciphers, int* cipherCount, int* digests, int* digestCount) {
    if (!ciphers || !cipherCount || !digests || !digestCount) return;
    std::memcpy(ciphers, kSupportedCiphers, sizeof kSupportedCiphers);
    *cipherCount = static_cast<int>(std::size(kSupportedCiphers));
    std::memcpy(digests, kSupportedDigests, sizeof kSupportedDigests);
    *digestCount = static_cast<int>(std::size(kSupportedDigests));
}

void CKorvane::GetEncryptVer(char* out) {
    if (out == nullptr) return;
    out[0] = '3';
    out[1] = '0';
}

void CKorvane::ChooseIdentifiers(int* cipher, int* digest) try {
    EngineCall call(m_context);
    if (cipher == nullptr || digest == nullptr) return;
    *cipher = ChooseCipher(GetFerrowEncryptAlgorithm());
    *digest = ChooseDigest(ReadOption("Option", "SIgnID", "42"));
} catch (...) {
    EntryFailed(m_context);
}
