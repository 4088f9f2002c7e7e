#include "signature/SignatureRecord.h"

#include <cstring>
#include <memory>

#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/ByteCursor.h"
#include "formats/Messages.h"
#include "formats/ProtectedFields.h"
#include "platform/MessageBox.h"

namespace {

bool Fits(int32_t length, size_t room) { return length >= 0 && static_cast<size_t>(length) <= room; }

// Takes sealed fields from the record's stored bytes: each one is fed to the CRC as stored,
// then deciphered. Running out of bytes or meeting a length beyond its room marks the record
// damaged; a failure of the field cipher has shown its own message.
class SealedFieldCursor {
public:
    SealedFieldCursor(CKorvane& engine, const unsigned char* data, size_t size)
        : m_engine(engine), m_cursor(data, size) {
        m_engine.CRC_Init();
    }

    bool Field(void* out, size_t n) {
        if (!Ok()) return false;
        std::span<const uint8_t> bytes = m_cursor.Take(n);
        if (!m_cursor.Ok()) return false;
        if (n == 0) return true;
        std::memcpy(out, bytes.data(), n);
        m_engine.CRC_Update(bytes.data(), static_cast<int>(n));
        char* plain = static_cast<char*>(out);
        m_cipherFailed = m_engine.SerialDecrypt(plain, static_cast<int>(n), plain) == 0;
        return !m_cipherFailed;
    }
    template <typename T>
    bool Value(T& out) {
        return Field(&out, sizeof out);
    }
    // A length field followed by as many bytes, into a room of `room` bytes.
    bool Sized(int32_t& length, void* out, size_t room) {
        if (!Value(length)) return false;
        if (!Fits(length, room)) {
            m_tooLong = true;
            return false;
        }
        return Field(out, static_cast<size_t>(length));
    }
    bool CrcMatches() {
        uint16_t computed = m_engine.CRC_Final();
        m_storedCrc = m_cursor.U16le();
        return m_cursor.Ok() && StoredCrcMatches(m_storedCrc, computed);
    }
    bool Ok() const { return m_cursor.Ok() && !m_tooLong && !m_cipherFailed; }
    bool CipherFailed() const { return m_cipherFailed; }
    uint16_t StoredCrc() const { return m_storedCrc; }

private:
    CKorvane& m_engine;
    ByteCursor m_cursor;
    bool m_tooLong = false;
    bool m_cipherFailed = false;
    uint16_t m_storedCrc = 0;
};

}  // namespace

int WriteSignatureRecord(CKorvane& engine, CFile* file, const File_SignInfo& r) {
    if (!Fits(r.fileNameLength, kSignPathRoom - 1) || !Fits(r.signatureLength, kSignRecordSignatureRoom) ||
        !Fits(r.userIdLength, kSignUserIdRoom - 1) || !Fits(r.certNameLength, kSignCertNameRoom - 1) ||
        !Fits(r.signerNameLength, kSignSignerNameRoom - 1))
        return 0;
    ProtectedWriter w(engine.Records(), file);
    w.I32(r.fileNameLength) && w.Field(r.fileName, static_cast<size_t>(r.fileNameLength)) &&
        w.Field(r.modifyTime, kSignTimeLength) && w.Field(&r.fileSize, sizeof r.fileSize) && w.U8(r.attributes) &&
        w.Field(r.signTime, kSignTimeLength) && w.I32(r.signatureLength) &&
        w.Field(r.signature, static_cast<size_t>(r.signatureLength)) && w.I32(r.userIdLength) &&
        w.Field(r.userId, static_cast<size_t>(r.userIdLength)) && w.I32(r.certNameLength) &&
        w.Field(r.certName, static_cast<size_t>(r.certNameLength)) && w.I32(r.signerNameLength) &&
        w.Field(r.signerName, static_cast<size_t>(r.signerNameLength)) && w.Finish();
    return w.Ok() ? 1 : 0;
}

int ReadSignatureRecord(CKorvane& engine, CFile* file, File_SignInfo* record) {
    // The whole record is at most kSignRecordMaxSize bytes: read that much (or the rest of the
    // file) once, so that a record cut short is found damaged like any other damage.
    auto stored = std::make_unique<unsigned char[]>(kSignRecordMaxSize);
    unsigned long got = 0;
    if (!engine.fReadBuf(file, stored.get(), kSignRecordMaxSize, &got, 0)) return 0;

    auto r = std::make_unique<File_SignInfo>();
    std::memset(r.get(), 0, sizeof *r);
    SealedFieldCursor c(engine, stored.get(), got);
    c.Sized(r->fileNameLength, r->fileName, kSignPathRoom - 1) && c.Field(r->modifyTime, kSignTimeLength) &&
        c.Value(r->fileSize) && c.Value(r->attributes) && c.Field(r->signTime, kSignTimeLength) &&
        c.Sized(r->signatureLength, r->signature, kSignRecordSignatureRoom) &&
        c.Sized(r->userIdLength, r->userId, kSignUserIdRoom - 1) &&
        c.Sized(r->certNameLength, r->certName, kSignCertNameRoom - 1) &&
        c.Sized(r->signerNameLength, r->signerName, kSignSignerNameRoom - 1);
    if (c.CipherFailed()) return 0;
    if (!c.Ok() || !c.CrcMatches()) {
        ShowMessage(msg::formats::SignatureHeadCrc);
        return 0;
    }
    // Texts end at their stored lengths; the rooms were zeroed, so the terminators are there.
    r->crc = c.StoredCrc();
    *record = *r;
    return 1;
}
