// The PCI data security card (cipher id 120), driven through its loadable driver module.

#include <openssl/crypto.h>

#include <cstring>

#include "engine/Cards.h"
#include "engine/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// The texts of one direction.
struct PciTexts {
    const MessageDef& driverMissing;
    const MessageDef& noCard;
    const MessageDef& busy;
    const MessageDef& sessionFailed;    // %x: status of TRV88Init
    const MessageDef& operationFailed;  // %x: status of the operation's init
    const MessageDef& updateFailed;     // %x
    const MessageDef& finalFailed;      // %x
};

const PciTexts kEncryptTexts = {
    msg::engine::PciEncryptDriverMissing, msg::engine::PciEncryptNoCard,     msg::engine::PciEncryptBusy,
    msg::engine::PciEncryptSessionFailed, msg::engine::PciEncryptInitFailed, msg::engine::PciEncryptUpdateFailed,
    msg::engine::PciEncryptFinalFailed,
};

const PciTexts kDecryptTexts = {
    msg::engine::PciDecryptDriverMissing, msg::engine::PciDecryptNoCard,     msg::engine::PciDecryptBusy,
    msg::engine::PciDecryptSessionFailed, msg::engine::PciDecryptInitFailed, msg::engine::PciDecryptUpdateFailed,
    msg::engine::PciDecryptFinalFailed,
};

void ShowStatus(const MessageDef& text, uint32_t status) { ShowMessage(text, static_cast<unsigned>(status)); }

// The three statuses with texts of their own; false for any other.
bool ShowKnownStatus(const PciTexts& t, uint32_t status) {
    switch (status) {
        case kTrv88DriverMissing:
            ShowMessage(t.driverMissing);
            return true;
        case kTrv88NoCard:
            ShowMessage(t.noCard);
            return true;
        case kTrv88Busy:
            ShowMessage(t.busy);
            return true;
        default:
            return false;
    }
}

}  // namespace

PciCard::~PciCard() {
    Close(m_encrypt);
    Close(m_decrypt);
}

bool PciCard::Load() {
    if (m_module.IsLoaded()) return true;
    if (!m_module.Load(kTrv88Module)) return false;
    m_init = m_module.Proc<Trv88InitFn>(kTrv88EntryNames[0]);
    m_final = m_module.Proc<Trv88FinalFn>(kTrv88EntryNames[1]);
    m_encryptInit = m_module.Proc<Trv88OpInitFn>(kTrv88EntryNames[2]);
    m_encryptUpdate = m_module.Proc<Trv88OpUpdateFn>(kTrv88EntryNames[3]);
    m_encryptFinal = m_module.Proc<Trv88OpFinalFn>(kTrv88EntryNames[4]);
    m_decryptInit = m_module.Proc<Trv88OpInitFn>(kTrv88EntryNames[5]);
    m_decryptUpdate = m_module.Proc<Trv88OpUpdateFn>(kTrv88EntryNames[6]);
    m_decryptFinal = m_module.Proc<Trv88OpFinalFn>(kTrv88EntryNames[7]);
    if (m_init && m_final && m_encryptInit && m_encryptUpdate && m_encryptFinal && m_decryptInit && m_decryptUpdate &&
        m_decryptFinal)
        return true;
    m_module.Unload();
    m_init = nullptr;
    m_final = nullptr;
    m_encryptInit = m_decryptInit = nullptr;
    m_encryptUpdate = m_decryptUpdate = nullptr;
    m_encryptFinal = m_decryptFinal = nullptr;
    return false;
}

uint32_t PciCard::Close(Operation& op) {
    if (!op.open) return 0;
    op.open = false;
    // The driver ends an operation of either direction through its encrypt-final entry.
    uint32_t status = m_encryptFinal(nullptr, nullptr, op.handle);
    m_final();
    return status;
}

int PciCard::Begin(bool encrypt, const unsigned char* key, const unsigned char* iv, int* lastResult) {
    const PciTexts& t = encrypt ? kEncryptTexts : kDecryptTexts;
    if (!Load()) {
        ShowMessage(msg::engine::PciLibraryMissing);
        return 0;
    }
    if (key == nullptr || iv == nullptr) return 0;
    Operation& op = encrypt ? m_encrypt : m_decrypt;
    Close(op);  // a previous operation that was never finished

    uint32_t status = m_init();
    if (status != 0) {
        if (!ShowKnownStatus(t, status)) ShowStatus(t.sessionFailed, status);
        return 0;
    }
    // The driver takes writable buffers; it gets copies.
    unsigned char k[16], v[8];
    std::memcpy(k, key, sizeof k);
    std::memcpy(v, iv, sizeof v);
    int handle = 0;
    status = encrypt ? m_encryptInit(k, v, &handle) : m_decryptInit(k, v, &handle);
    OPENSSL_cleanse(k, sizeof k);
    OPENSSL_cleanse(v, sizeof v);
    if (encrypt && lastResult) *lastResult = static_cast<int>(status);
    if (status != 0) {
        m_final();  // the session opened above ends with the failed operation
        if (!encrypt || !ShowKnownStatus(t, status)) ShowStatus(t.operationFailed, status);
        return 0;
    }
    op.handle = handle;
    op.open = true;
    return 1;
}

int PciCard::Update(bool encrypt, unsigned char* out, int* outLength, const unsigned char* in, int inLength) {
    const PciTexts& t = encrypt ? kEncryptTexts : kDecryptTexts;
    Operation& op = encrypt ? m_encrypt : m_decrypt;
    *outLength = 0;
    if (!op.open) return 0;
    if (inLength > 0 && out != in) std::memmove(out, in, static_cast<size_t>(inLength));
    int length = inLength;
    uint32_t status = encrypt ? m_encryptUpdate(out, &length, op.handle) : m_decryptUpdate(out, &length, op.handle);
    // A length outside what the buffer holds is as much a failure as a bad status.
    if (status == 0 && (length < 0 || length > inLength)) status = ~0u;
    if (status != 0) {
        Close(op);
        ShowStatus(t.updateFailed, status);
        return 0;
    }
    *outLength = length;
    return 1;
}

int PciCard::Finish(bool encrypt, int* outLength) {
    const PciTexts& t = encrypt ? kEncryptTexts : kDecryptTexts;
    Operation& op = encrypt ? m_encrypt : m_decrypt;
    *outLength = 0;
    if (!op.open) return 0;
    uint32_t status = Close(op);
    if (status != 0) {
        ShowStatus(t.finalFailed, status);
        return 0;
    }
    return 1;
}
