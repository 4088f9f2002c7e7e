// The ISA encryption card (cipher id 121). The card works on whole 8-byte blocks: a partial
// block waits for the next update, and the final partial block goes through the cipher driver
// under a tail key made from the card key.

#include <openssl/crypto.h>

#include <cstring>

#include "drivers/Mqk21.h"
#include "engine/Cards.h"
#include "engine/Messages.h"
#include "logon/ILogon.h"
#include "platform/MessageBox.h"

IsaCard::~IsaCard() { Close(); }

bool IsaCard::Load() {
    if (m_module.IsLoaded()) return true;
    if (!m_module.Load(kIsaCardModule)) return false;
    m_open = m_module.Proc<IsaCardOpenFn>(kIsaCardOpenName);
    m_encrypt = m_module.Proc<IsaCardCipherFn>(kIsaCardEncryptName);
    m_decrypt = m_module.Proc<IsaCardCipherFn>(kIsaCardDecryptName);
    m_close = m_module.Proc<IsaCardCloseFn>(kIsaCardCloseName);
    if (m_open && m_encrypt && m_decrypt && m_close) return true;
    m_module.Unload();
    m_open = nullptr;
    m_encrypt = m_decrypt = nullptr;
    m_close = nullptr;
    return false;
}

void IsaCard::Close() {
    if (m_handle >= 0 && m_close) m_close(m_handle);
    m_handle = -1;
    m_pendingLength = 0;
    OPENSSL_cleanse(m_pending, sizeof m_pending);
    OPENSSL_cleanse(m_tailKey, sizeof m_tailKey);
}

int IsaCard::Open(ILogon* logon, const unsigned char* key) {
    Close();  // a previous operation that was never finished
    int state = logon ? logon->CheckIsaCardUser() : 0;
    if (state != 1 && state != 2) return -1;
    if (key == nullptr) return -1;
    if (!Load()) return 0;  // no driver: as good as no card
    int handle = m_open(key, 8);
    if (handle < 0) return -1;
    if (handle == 0) return 0;
    m_handle = handle;
    m_pendingLength = 0;
    std::memcpy(m_tailKey, key, 8);
    std::memcpy(m_tailKey + 8, key, 8);
    return 1;
}

int IsaCard::Update(bool encrypt, unsigned char* out, int* outLength, const unsigned char* in, int inLength) {
    *outLength = 0;
    if (m_handle < 0) return 0;
    const int p = m_pendingLength;
    const size_t n = static_cast<size_t>(inLength);
    if (p + inLength < 8) {
        if (inLength > 0) std::memcpy(m_pending + p, in, n);
        m_pendingLength += inLength;
        return 1;
    }
    // Lay the stream out in out as it runs: the waiting bytes, then the input. This works in
    // place too, where the card's blocks run ahead of the caller's input.
    const int keep = (p + inLength) % 8;
    const int whole = p + inLength - keep;  // 8 or more
    std::memmove(out + p, in, n);
    std::memcpy(out, m_pending, static_cast<size_t>(p));
    std::memcpy(m_pending, out + whole, static_cast<size_t>(keep));
    m_pendingLength = keep;

    IsaCardCipherFn cipher = encrypt ? m_encrypt : m_decrypt;
    int produced = 0;
    bool ok = cipher(m_handle, out, 8, out, &produced) == 0;
    const int rest = whole - 8;
    if (ok && rest > 0) ok = cipher(m_handle, out + 8, rest, out + 8, &produced) == 0;
    if (!ok) {
        Close();
        ShowMessage(encrypt ? msg::engine::IsaEncryptFailed : msg::engine::IsaDecryptFailed);
        return 0;
    }
    *outLength = whole;
    return 1;
}

int IsaCard::Finish(bool encrypt, int algorithm, int mode, unsigned char* out, int* outLength) {
    *outLength = 0;
    if (m_handle < 0) return 0;
    bool tailOk = true;
    if (m_pendingLength > 0) {
        intptr_t driver = 0;
        int produced = 0;
        int rc = encrypt ? Mqk21EncryptInit(algorithm, mode, m_tailKey, 16, &driver)
                         : Mqk21DecryptInit(algorithm, mode, m_tailKey, 16, &driver);
        if (rc == 0) {
            rc = encrypt ? Mqk21EncryptUpdate(driver, m_pending, m_pendingLength, out, &produced)
                         : Mqk21DecryptUpdate(driver, m_pending, m_pendingLength, out, &produced);
            encrypt ? Mqk21EncryptFinal(driver) : Mqk21DecryptFinal(driver);
        }
        tailOk = rc == 0 && produced == m_pendingLength;
        if (tailOk) *outLength = produced;
    }
    int closed = m_close(m_handle);
    m_handle = -1;
    Close();
    if (!tailOk) {
        ShowMessage(encrypt ? msg::engine::FieldEncryptFailed : msg::engine::FieldDecryptFailed);
        return 0;
    }
    // A decryption is complete once its bytes are out, whatever the card says on closing.
    if (encrypt && closed != 0) {
        *outLength = 0;
        ShowMessage(msg::engine::IsaEncryptFailed);
        return 0;
    }
    return 1;
}
