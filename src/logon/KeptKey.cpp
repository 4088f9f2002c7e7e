#include "logon/KeptKey.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <system_error>

#include "platform/Secret.h"

namespace logon {

PkeyPtr KeptKey::Open(const std::string& pem, const char* password, size_t length, bool keep) {
    Settle();
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

void KeptKey::OpenBehind(const std::string& pem, std::string_view password) {
    Forget();
    m_openerPem = pem;
    try {
        m_opener = std::thread([this, secret = SecretText(password)] {
            m_opened = ImportPrivateKeyPem(m_openerPem, secret.data(), secret.size());
        });
    } catch (const std::system_error&) {
        // No thread: the key is opened when first used.
        m_openerPem.clear();
    }
}

void KeptKey::Settle() {
    if (!m_opener.joinable()) return;
    m_opener.join();
    if (m_opened) {
        m_key = std::move(m_opened);
        m_pem = std::move(m_openerPem);
    }
    m_openerPem.clear();
}

void KeptKey::Forget() {
    Settle();
    m_key.reset();
    OPENSSL_cleanse(m_pem.data(), m_pem.size());
    m_pem.clear();
}

}  // namespace logon
