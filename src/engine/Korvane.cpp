#include "engine/Korvane.h"

#include <cstring>

#include "engine/CheckedRecordIo.h"
#include "engine/Identifiers.h"
#include "engine/Options.h"

CKorvane::CKorvane() : CKorvane(EngineContext{}) {}

CKorvane::CKorvane(const EngineContext& context) : m_context(context) {
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
