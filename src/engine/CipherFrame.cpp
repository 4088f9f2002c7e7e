// The cipher frame: bulk encryption and decryption by cipher id, routed to the software ciphers
// of the cipher table or to one of the two cards. The back end chosen by the last init (of
// either direction) serves the updates and finals of both directions.

#include "engine/CipherState.h"
#include "engine/Identifiers.h"
#include "engine/Messages.h"
#include "formats/Messages.h"
#include "logon/ILogon.h"
#include "platform/MessageBox.h"

namespace {

enum CipherMode { kModeSoftware = 1, kModePciCard = 3, kModeIsaCard = 4 };

// One direction's view of the frame state.
struct Direction {
    bool encrypt;
    int& mode;
    std::unique_ptr<SoftCipher>& soft;
    PciCard& pci;
    IsaCard& isa;
};

const MessageDef& SoftwareFailure(bool encrypt) {
    return encrypt ? msg::engine::DataEncryptFailed : msg::engine::DataDecryptFailed;
}

int Begin(Direction d, const unsigned char* key, const unsigned char* iv, int id, int* lastCardResult) {
    if (id < kCipherPciCard) {
        d.mode = kModeSoftware;
        d.soft.reset();
        const CipherEntry* entry = FindCipher(id);
        if (entry == nullptr || key == nullptr || iv == nullptr) return 0;  // unknown to the library: silent
        d.soft = entry->make(key, iv);
        if (!d.soft) {
            ShowMessage(SoftwareFailure(d.encrypt));
            return 0;
        }
        return 1;
    }
    if (id == kCipherPciCard) {
        if (!d.pci.Begin(d.encrypt, key, iv, lastCardResult)) return 0;
        d.mode = kModePciCard;
        return 1;
    }
    if (id == kCipherIsaCard) {
        int opened = d.isa.Open(LogonLibrary(), key);
        if (opened == 0) {
            ShowMessage(msg::engine::IsaCardNotFound);
            return 0;
        }
        if (opened < 0) {
            ShowMessage(d.encrypt ? msg::engine::IsaEncryptInitFailed : msg::engine::IsaDecryptInitFailed);
            return 0;
        }
        d.mode = kModeIsaCard;
        return 1;
    }
    ShowMessage(id == kCipherFurtherCard ? msg::engine::CipherNotInVersion : msg::formats::UnsupportedCipher);
    return 0;
}

int Update(Direction d, unsigned char* out, int* outLength, const unsigned char* in, int inLength) {
    if (outLength == nullptr) return 0;
    *outLength = 0;
    if (inLength < 0 || (inLength > 0 && (in == nullptr || out == nullptr))) return 0;
    switch (d.mode) {
        case kModeSoftware:
            if (!d.soft) return 0;
            if (!d.soft->Update(out, in, static_cast<size_t>(inLength))) {
                d.soft.reset();
                ShowMessage(SoftwareFailure(d.encrypt));
                return 0;
            }
            *outLength = inLength;
            return 1;
        case kModePciCard:
            return d.pci.Update(d.encrypt, out, outLength, in, inLength);
        case kModeIsaCard:
            return d.isa.Update(d.encrypt, out, outLength, in, inLength);
        default:
            return 0;
    }
}

int Finish(Direction d, unsigned char* out, int* outLength, int tailAlgorithm, int tailMode) {
    if (outLength == nullptr) return 0;
    *outLength = 0;
    switch (d.mode) {
        case kModeSoftware:
            // OFB leaves nothing to flush; finishing releases the keyed context.
            if (!d.soft) return 0;
            d.soft.reset();
            return 1;
        case kModePciCard:
            return d.pci.Finish(d.encrypt, outLength);
        case kModeIsaCard:
            return out ? d.isa.Finish(d.encrypt, tailAlgorithm, tailMode, out, outLength) : 0;
        default:
            return 0;
    }
}

}  // namespace

CKorvane::CipherState* CKorvane::NewCipherState() { return new CipherState(); }

void CKorvane::CipherStateFree::operator()(CipherState* state) const { delete state; }

int CKorvane::LoadKeloMMwCardFunc() { return m_cipherState->pci.Load() ? 1 : 0; }

int CKorvane::Evp_EncryptInit(const unsigned char* key, const unsigned char* iv, int id) try {
    EngineCall call(m_context);
    if (key == nullptr || iv == nullptr) return 0;
    CipherState& s = *m_cipherState;
    return Begin({true, m_cipherMode, s.encrypt, s.pci, s.isa}, key, iv, id, &m_lastCardResult);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Evp_EncryptUpdate(unsigned char* out, int* outLength, const unsigned char* in, int inLength) try {
    EngineCall call(m_context);
    if (out == nullptr || outLength == nullptr || (in == nullptr && inLength != 0)) return 0;
    CipherState& s = *m_cipherState;
    return Update({true, m_cipherMode, s.encrypt, s.pci, s.isa}, out, outLength, in, inLength);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Evp_EncryptFinalEx(unsigned char* out, int* outLength) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    // Without room for the output the session is still closed; the answer is 0.
    unsigned char scratch[64];
    int scratchLength = 0;
    if (out == nullptr || outLength == nullptr) {
        Finish({true, m_cipherMode, s.encrypt, s.pci, s.isa}, scratch, &scratchLength, m_fieldCipherAlg,
               m_fieldCipherMode);
        return 0;
    }
    return Finish({true, m_cipherMode, s.encrypt, s.pci, s.isa}, out, outLength, m_fieldCipherAlg, m_fieldCipherMode);
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::Evp_EncryptFinal(unsigned char* out, int* outLength) try {
    EngineCall call(m_context);
    Evp_EncryptFinalEx(out, outLength);
} catch (...) {
    EntryFailed(m_context);
}

int CKorvane::Evp_DecryptInit(const unsigned char* key, const unsigned char* iv, int id) try {
    EngineCall call(m_context);
    if (key == nullptr || iv == nullptr) return 0;
    CipherState& s = *m_cipherState;
    int unused = 0;  // the last card result records encryptions only
    return Begin({false, m_cipherMode, s.decrypt, s.pci, s.isa}, key, iv, id, &unused);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Evp_DecryptUpdate(unsigned char* out, int* outLength, const unsigned char* in, int inLength) try {
    EngineCall call(m_context);
    if (out == nullptr || outLength == nullptr || (in == nullptr && inLength != 0)) return 0;
    CipherState& s = *m_cipherState;
    return Update({false, m_cipherMode, s.decrypt, s.pci, s.isa}, out, outLength, in, inLength);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Evp_DecryptFinal(unsigned char* out, int* outLength) try {
    EngineCall call(m_context);
    CipherState& s = *m_cipherState;
    unsigned char scratch[64];
    int scratchLength = 0;
    if (out == nullptr || outLength == nullptr) {
        Finish({false, m_cipherMode, s.decrypt, s.pci, s.isa}, scratch, &scratchLength, m_fieldCipherAlg,
               m_fieldCipherMode);
        return 0;
    }
    return Finish({false, m_cipherMode, s.decrypt, s.pci, s.isa}, out, outLength, m_fieldCipherAlg, m_fieldCipherMode);
} catch (...) {
    return EntryFailed(m_context, 0);
}
