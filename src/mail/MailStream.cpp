// The content loops of mail packages: one file's bytes through the cipher, the CRC of the stored
// bytes and the signature digest of the plain bytes, in blocks of kStreamBlockSize through the
// engine's two block buffers. Kept to these two functions so that the package layer's shared
// content stream can take their place.

#include <climits>

#include "dialogs/MessagePump.h"
#include "engine/Crc16.h"
#include "formats/PackageRecords.h"
#include "mail/MailEncrypt.h"
#include "mail/MailMessages.h"
#include "platform/MessageBox.h"

namespace {

// Closes a cipher stream that a failure left open, so no card session outlives the call.
class CipherGuard {
public:
    CipherGuard(CKorvane& engine, bool encrypt, bool open) : m_engine(engine), m_encrypt(encrypt), m_open(open) {}
    ~CipherGuard() {
        if (!m_open) return;
        unsigned char rest[64];
        int length = 0;
        if (m_encrypt)
            m_engine.Evp_EncryptFinalEx(rest, &length);
        else
            m_engine.Evp_DecryptFinal(rest, &length);
    }
    CipherGuard(const CipherGuard&) = delete;
    CipherGuard& operator=(const CipherGuard&) = delete;
    void Finished() { m_open = false; }

private:
    CKorvane& m_engine;
    bool m_encrypt;
    bool m_open;
};

}  // namespace

int CMailEncrypt::PackContent(CFile* package, CFile& source, bool encrypt, bool sign, int64_t* storedLength,
                              uint16_t* crc) {
    CipherGuard cipher(*this, true, encrypt);
    const int64_t start = static_cast<int64_t>(package->GetPosition());
    unsigned char* in = BlockIn();
    unsigned char* out = BlockOut();
    uint16_t running = 0xFFFF;
    int64_t total = 0;
    // Offsets and lengths are 32-bit fields: nothing may end beyond them.
    auto store = [&](const unsigned char* bytes, int length) {
        if (length <= 0) return true;
        total += length;
        if (start + total > INT32_MAX) {
            AfxMessageBox(kMailTooLarge);
            return false;
        }
        running = Crc16Update(running, bytes, static_cast<size_t>(length));
        return fWriteBuf(package, bytes, static_cast<unsigned long>(length)) == 1;
    };
    for (;;) {
        unsigned long got = 0;
        if (!fReadBuf(&source, in, kStreamBlockSize, &got, 0)) return 0;
        if (got > 0) {
            if (sign) Evp_SignUpdate(in, static_cast<unsigned>(got));
            int produced = static_cast<int>(got);
            const unsigned char* stored = in;
            if (encrypt) {
                if (!Evp_EncryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
                stored = out;
            }
            if (!store(stored, produced)) return 0;
        }
        if (got < kStreamBlockSize) break;
        DoEvents();
    }
    if (encrypt) {
        int produced = 0;
        cipher.Finished();
        if (!Evp_EncryptFinalEx(out, &produced) || !store(out, produced)) return 0;
    }
    *storedLength = total;
    *crc = Crc16Final(running);
    return 1;
}

int CMailEncrypt::UnpackContent(CFile* source, CFile* output, int64_t storedLength, bool decrypt, bool verify,
                                uint16_t* crc) {
    CipherGuard cipher(*this, false, decrypt);
    unsigned char* in = BlockIn();
    unsigned char* out = BlockOut();
    uint16_t running = 0xFFFF;
    auto deliver = [&](const unsigned char* plain, int length) {
        if (length <= 0) return true;
        if (verify) Evp_VerifyUpdate(plain, static_cast<unsigned>(length));
        return fWriteBuf(output, plain, static_cast<unsigned long>(length)) == 1;
    };
    for (int64_t left = storedLength; left > 0;) {
        unsigned long want = static_cast<unsigned long>(std::min<int64_t>(left, kStreamBlockSize)), got = 0;
        if (!fReadBuf(source, in, want, &got, 0)) return 0;
        if (got < want) {
            AfxMessageBox(kMailDataShort);
            return 0;
        }
        running = Crc16Update(running, in, got);
        int produced = static_cast<int>(got);
        const unsigned char* plain = in;
        if (decrypt) {
            if (!Evp_DecryptUpdate(out, &produced, in, static_cast<int>(got))) return 0;
            plain = out;
        }
        if (!deliver(plain, produced)) return 0;
        left -= static_cast<int64_t>(got);
        if (left > 0) DoEvents();
    }
    if (decrypt) {
        int produced = 0;
        cipher.Finished();
        if (!Evp_DecryptFinal(out, &produced) || !deliver(out, produced)) return 0;
    }
    *crc = Crc16Final(running);
    return 1;
}
