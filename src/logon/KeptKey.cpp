#include "logon/KeptKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace logon {

PkeyPtr KeptKey::Open(const std::string& pem, const char* password, size_t length, bool keep) {
    if (keep && m_key && pem.size() == m_pem.size() && CRYPTO_memcmp(pem.data(), m_pem.data(), pem.size()) == 0 &&
        EVP_PKEY_up_ref(m_key.get()) == 1) {
        return PkeyPtr(m_key.get());
    }
    PkeyPtr key = ImportPrivateKeyPem(pem, password, length);
    if (key && keep && EVP_PKEY_up_ref(key.get()) == 1) {
        Forget();
        m_key.reset(key.get());
        m_pem = pem;
    }
    return key;
}

void KeptKey::Keep(const std::string& pem, PkeyPtr key) {
    Forget();
    m_key = std::move(key);
    m_pem = pem;
}

void KeptKey::Forget() {
    m_key.reset();
    OPENSSL_cleanse(m_pem.data(), m_pem.size());
    m_pem.clear();
}

}  // namespace logon
