#include "engine/Korvane.h"

#include <openssl/crypto.h>

#include <cstring>

#include "engine/Identifiers.h"
#include "engine/Options.h"

CKorvane::CKorvane() = default;

CKorvane::~CKorvane() {
    if (!m_batchPassword.empty()) OPENSSL_cleanse(m_batchPassword.data(), m_batchPassword.size());
}

void CKorvane::GetEncryptAlgorithmID(int* ciphers, int* cipherCount, int* digests, int* digestCount) {
    std::memcpy(ciphers, kSupportedCiphers, sizeof kSupportedCiphers);
    *cipherCount = static_cast<int>(std::size(kSupportedCiphers));
    std::memcpy(digests, kSupportedDigests, sizeof kSupportedDigests);
    *digestCount = static_cast<int>(std::size(kSupportedDigests));
}

void CKorvane::GetEncryptVer(char* out) {
    out[0] = '3';
    out[1] = '0';
}

void CKorvane::ChooseIdentifiers(int* cipher, int* digest) {
    *cipher = ChooseCipher(GetFerrowEncryptAlgorithm());
    *digest = ChooseDigest(ReadOption("Option", "SIgnID", "42"));
}

void CKorvane::SetEncryptAlogID(EncryptFlag* head) {
    int cipher = 0, digest = 0;
    ChooseIdentifiers(&cipher, &digest);
    head->cipherId = cipher;
    head->digestId = digest;
    head->digestId2 = digest;
    head->one = 1;
    std::memcpy(head->magic, "KP", 2);
    std::memcpy(head->version, "10", 2);
}
