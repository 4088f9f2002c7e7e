// Signing and verification through the cipher frame, and the raw RSA wrappers. Software-key
// users sign a digest (id 8 MD5, id 42 SHA-0) as RSA PKCS#1 v1.5 over a DigestInfo; users whose
// keys live in a key device sign SHA-1 through the logon library.

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstring>
#include <vector>

#include "engine/CipherState.h"
#include "engine/Messages.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "platform/MessageBox.h"
#include "platform/SslHandles.h"

namespace {

constexpr size_t kDigestRoom = 64;

using PkeyCtx = PkeyCtxPtr;

// An RSA context for one raw PKCS#1 v1.5 operation, or null when the key is not RSA.
PkeyCtx RsaContext(EVP_PKEY* key, int (*init)(EVP_PKEY_CTX*)) {
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return nullptr;
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    if (!ctx || init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) return nullptr;
    return ctx;
}

// The DigestInfo a signature carries: the digest's DER prefix, then the digest.
std::vector<unsigned char> DigestInfo(const DigestEntry& entry, const unsigned char* digest) {
    std::vector<unsigned char> info(entry.digestInfoPrefix, entry.digestInfoPrefix + entry.digestInfoPrefixLength);
    info.insert(info.end(), digest, digest + entry.length);
    return info;
}

bool FinishDigest(std::unique_ptr<MessageDigest> digest, unsigned char* out, size_t expected) {
    return digest && digest->Length() == expected && digest->Final(out);
}

// The signature over the finished digest; its length, or 0 on any failure.
size_t SignDigestInfo(EVP_PKEY* key, const DigestEntry& entry, const unsigned char* digest, unsigned char* signature) {
    PkeyCtx ctx = RsaContext(key, EVP_PKEY_sign_init);
    if (!ctx) return 0;
    std::vector<unsigned char> info = DigestInfo(entry, digest);
    size_t length = static_cast<size_t>(EVP_PKEY_get_size(key));
    if (length == 0 || length > kLogonSignatureRoom) return 0;
    if (EVP_PKEY_sign(ctx.get(), signature, &length, info.data(), info.size()) != 1) return 0;
    return length;
}

bool VerifyDigestInfo(EVP_PKEY* key, const DigestEntry& entry, const unsigned char* digest,
                      const unsigned char* signature, size_t length) {
    PkeyCtx ctx = RsaContext(key, EVP_PKEY_verify_init);
    if (!ctx || signature == nullptr || length == 0) return false;
    std::vector<unsigned char> info = DigestInfo(entry, digest);
    // 1 is valid; 0 (mismatch) and negative (malformed) are both "not valid".
    return EVP_PKEY_verify(ctx.get(), signature, length, info.data(), info.size()) == 1;
}

}  // namespace

int CKorvane::Evp_SignInit(int digestId) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    s.signDigest.reset();
    s.signEntry = nullptr;
    s.signType = -1;
    ILogon* logon = LogonLibrary();
    if (logon == nullptr) return 0;
    int type = s.holdSignKey && s.heldSignType >= 0 ? s.heldSignType : logon->GetUserType();
    if (s.holdSignKey) s.heldSignType = type;
    if (type == kLogonSoftwareKey) {
        s.signEntry = FindDigest(digestId);
        if (s.signEntry == nullptr) return 0;
        s.signDigest = s.signEntry->make();
    } else if (type == kLogonKeyDevice) {
        s.signDigest = MakeSha1();
    } else {
        return 0;
    }
    s.signType = type;
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::Evp_SignUpdate(const unsigned char* data, unsigned int length) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    if (s.signDigest && data != nullptr && length > 0) s.signDigest->Update(data, length);
} catch (...) {
    EntryFailed(m_context);
}

int CKorvane::Evp_SignFinal(unsigned char* signature, unsigned int* signatureLength, const char* userId,
                            const char* password) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    std::unique_ptr<MessageDigest> digest = std::move(s.signDigest);  // one signature per init
    const DigestEntry* entry = s.signEntry;
    ILogon* logon = LogonLibrary();
    int type = s.signType >= 0 ? s.signType : (logon ? logon->GetUserType() : -1);
    const std::string user = userId ? userId : "";

    if (type == kLogonSoftwareKey) {
        // A key held for this batch was opened while the user was logged on.
        PkeyPtr opened;
        EVP_PKEY* key = s.heldSignKey && s.heldSignUser == user ? s.heldSignKey.get() : nullptr;
        if (key == nullptr && (logon == nullptr || logon->IsLoggedOn() == 0)) {
            ShowMessage(msg::engine::LoggedOut);
            return 0;
        }
        if (key == nullptr) {
            EVP_PKEY* raw = nullptr;
            int keyType = 0;
            int got = logon->GetPrivateKey(&raw, user, password, password ? static_cast<int>(std::strlen(password)) : 0,
                                           keyType);
            opened.reset(raw);
            if (got != kPrivateKeyOk || !opened) {
                ShowMessage(msg::engine::PrivateKeyFailed);
                return 0;
            }
            key = opened.get();
            if (s.holdSignKey) {
                s.heldSignKey = std::move(opened);
                s.heldSignUser = user;
            }
        }
        unsigned char md[kDigestRoom];
        size_t length = 0;
        if (entry && signature && signatureLength && FinishDigest(std::move(digest), md, entry->length))
            length = SignDigestInfo(key, *entry, md, signature);
        OPENSSL_cleanse(md, sizeof md);
        if (length == 0) {
            ShowMessage(msg::engine::RsaSignFailed);
            return 0;
        }
        *signatureLength = static_cast<unsigned int>(length);
        return 1;
    }
    if (type == kLogonKeyDevice) {
        unsigned char md[kLogonDigestLength];
        if (!signature || !signatureLength || !FinishDigest(std::move(digest), md, sizeof md)) {
            ShowMessage(msg::engine::RsaSignFailed);
            return 0;
        }
        if (m_digestOnly) {
            std::memcpy(signature, md, sizeof md);
            *signatureLength = sizeof md;
            return 1;
        }
        int length = 0;
        const int answer = logon != nullptr ? logon->DeviceSign(user, md, sizeof md, signature, &length) : 0;
        if (answer != 1 || length <= 0) {
            // A device that said why it failed (a wrong PIN, a pulled token) has said enough.
            if (answer != kLogonDeviceSaid) ShowMessage(msg::engine::RsaSignFailed);
            return 0;
        }
        *signatureLength = static_cast<unsigned int>(length);
        return 1;
    }
    ShowMessage(msg::engine::UnknownUserType);
    return 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::HoldSigningKey(bool hold) {
    CipherState& s = *m_cipherState;
    s.holdSignKey = hold;
    if (hold) return;
    s.heldSignKey.reset();
    s.heldSignUser.clear();
    s.heldSignType = -1;
}

int CKorvane::Evp_VerifyInit(int digestId, const char* signerId, int signerKind) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    s.verifyDigest.reset();
    s.verifyEntry = nullptr;
    m_signerProof = {};
    ILogon* logon = LogonLibrary();
    if (logon == nullptr) {
        m_verifierType = -1;
        return 0;
    }
    m_verifierType = logon->GetSignerType(signerId ? signerId : "", signerKind);
    if (m_verifierType == kLogonSoftwareKey) {
        s.verifyEntry = FindDigest(digestId);
        if (s.verifyEntry == nullptr) return 0;
        s.verifyDigest = s.verifyEntry->make();
    } else if (m_verifierType == kLogonKeyDevice) {
        s.verifyDigest = MakeSha1();
    }
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::Evp_VerifyUpdate(const unsigned char* data, unsigned int length) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    if (s.verifyDigest && data != nullptr && length > 0) s.verifyDigest->Update(data, length);
} catch (...) {
    EntryFailed(m_context);
}

int CKorvane::Evp_VerifyFinal(const unsigned char* signature, unsigned int signatureLength, const char* signerId,
                              char signerKind, unsigned int digestCompare) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    std::unique_ptr<MessageDigest> digest = std::move(s.verifyDigest);
    const DigestEntry* entry = s.verifyEntry;
    ILogon* logon = LogonLibrary();
    const std::string signer = signerId ? signerId : "";
    m_signerProof = {};
    if (m_verifierType != kLogonSoftwareKey && m_verifierType != kLogonKeyDevice) {
        ShowMessage(msg::engine::NoVerifyCertificate);
        return -1;
    }

    if (m_verifierType == kLogonKeyDevice && digestCompare != 0 && static_cast<uint8_t>(signerKind) == kKindShared) {
        // A bare digest: anyone can compute it, so it tells that the content is intact and
        // nothing of who sent it. All of it must match; a shortened one matches nothing.
        unsigned char md[kLogonDigestLength];
        bool same = FinishDigest(std::move(digest), md, sizeof md) && signature &&
                    signatureLength == kLogonDigestLength && CRYPTO_memcmp(signature, md, sizeof md) == 0;
        if (!same) {
            ShowMessage(msg::engine::DecryptedDiffers);
            return 0;
        }
        m_signerProof.basis = SignerProof::Basis::kBareDigest;
        return 1;
    }

    // A signature: the certificate that checks it is the one that names the signer.
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    int found = logon ? logon->GetSignerCert(signer, signerKind, &rawKey, &rawCert) : 0;
    PkeyPtr key(rawKey);
    X509Ptr cert(rawCert);
    if (found == 0 || !key || !cert) {
        ShowMessage(msg::engine::NoVerifyCertificate);
        return -1;
    }
    bool valid = false;
    if (m_verifierType == kLogonSoftwareKey) {
        unsigned char md[kDigestRoom];
        valid = entry && FinishDigest(std::move(digest), md, entry->length) &&
                VerifyDigestInfo(key.get(), *entry, md, signature, signatureLength);
    } else {
        unsigned char md[kLogonDigestLength];
        valid =
            FinishDigest(std::move(digest), md, sizeof md) && signature &&
            logon->DeviceVerify(signer, signerKind, signature, static_cast<int>(signatureLength), md, sizeof md) != 0;
    }
    if (!valid) {
        ShowMessage(msg::engine::BadSignature);
        return 0;
    }
    m_signerProof = CertificateProof(cert.get());
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Rsa_public_encrypt(int length, const unsigned char* from, unsigned char* to,
                                 struct evp_pkey_st* key) try {
    EngineCall call(m_context);
    PkeyCtx ctx = RsaContext(key, EVP_PKEY_encrypt_init);
    if (!ctx || key == nullptr || length < 0 || (length > 0 && from == nullptr) || to == nullptr) return -1;
    size_t out = static_cast<size_t>(EVP_PKEY_get_size(key));
    if (EVP_PKEY_encrypt(ctx.get(), to, &out, from, static_cast<size_t>(length)) != 1) return -1;
    return static_cast<int>(out);
} catch (...) {
    return EntryFailed(m_context, -1);
}

int CKorvane::Rsa_private_decrypt(int length, const unsigned char* from, unsigned char* to,
                                  struct evp_pkey_st* key) try {
    EngineCall call(m_context);
    PkeyCtx ctx = RsaContext(key, EVP_PKEY_decrypt_init);
    if (!ctx || length <= 0 || from == nullptr || to == nullptr) return -1;
    size_t out = static_cast<size_t>(EVP_PKEY_get_size(key));
    if (EVP_PKEY_decrypt(ctx.get(), to, &out, from, static_cast<size_t>(length)) != 1) return -1;
    return static_cast<int>(out);
} catch (...) {
    return EntryFailed(m_context, -1);
}
