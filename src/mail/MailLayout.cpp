// The one writer and the one reader of the mail package layout (see MailLayout.h).

#include "mail/MailLayout.h"

#include <cstring>

#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/ByteCursor.h"
#include "formats/Messages.h"
#include "formats/ProtectedFields.h"
#include "mail/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

bool Refuse(const MessageDef& message) {
    ShowMessage(message);
    return false;
}

// Reads a length field's text of `length` bytes when it is at most `max`; a longer one is a damaged
// block, refused with the block's message before anything is read into it.
bool ReadAtMost(ProtectedReader& reader, int32_t length, size_t max, std::string& out, const MessageDef& damaged) {
    switch (reader.String(length, max + 1, out)) {
        case ProtectedReader::Text::kOk:
            return true;
        case ProtectedReader::Text::kTooLong:
            return Refuse(damaged);
        default:
            return false;
    }
}

bool CheckCrc(ProtectedReader& reader, bool exact, const MessageDef& damaged) {
    bool matches = false;
    if (!reader.CheckCrc(exact, &matches)) return false;
    return matches || Refuse(damaged);
}

}  // namespace

bool IsMailFileName(const std::string& name) {
    return !name.empty() && name.size() <= kMailFileNameMax && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

bool MailCountsFit(const MailHeader& header, uint64_t packageLength) {
    const uint64_t room = packageLength > kMailHeaderSize ? packageLength - kMailHeaderSize : 0;
    return header.fileCount >= 0 && header.recipientCount >= 0 &&
           static_cast<uint64_t>(header.fileCount) <= room / (kMailFileEntryFixed + 1);
}

// ---- Writers

bool WriteMailHeader(CKorvane& engine, CFile* file, const MailHeader& plain) {
    MailHeader stored = plain;
    if (!engine.SerialEncrypt(reinterpret_cast<const char*>(&stored), kMailHeaderSealed,
                              reinterpret_cast<char*>(&stored)))
        return false;
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(&stored), kMailHeaderSealed);
    stored.crc = engine.CRC_Final();
    stored.zero = 0;
    return engine.fWriteBuf(file, &stored, kMailHeaderSize) == 1;
}

bool WriteSignerBlock(CKorvane& engine, CFile* file, const std::string& signer) {
    if (signer.size() > kMailSignerNameMax) return Refuse(msg::formats::StructureError);
    ProtectedWriter block(engine.Records(), file);
    return block.U8(kMailBlockKind) && block.I32(static_cast<int32_t>(signer.size())) &&
           block.Field(signer.data(), signer.size()) && block.Finish();
}

bool WriteRecipientRecord(CKorvane& engine, CFile* file, const MailRecipient& recipient) {
    if (recipient.name.size() > kMailRecipientNameMax || recipient.wrapped.size() > kMailWrappedKeyMax)
        return Refuse(msg::formats::StructureError);
    ProtectedWriter record(engine.Records(), file);
    return record.U8(kMailBlockKind) && record.I32(static_cast<int32_t>(recipient.name.size())) &&
           record.Field(recipient.name.data(), recipient.name.size()) &&
           record.I32(static_cast<int32_t>(recipient.wrapped.size())) && record.I32(recipient.ivLength) &&
           record.Field(recipient.wrapped.data(), recipient.wrapped.size()) && record.Finish();
}

bool WritePlainFileEntry(CKorvane& engine, CFile* file, const std::string& name) {
    if (!IsMailFileName(name)) return Refuse(msg::formats::StructureError);
    const int32_t head[3] = {kMailEntryFile, 0, static_cast<int32_t>(name.size())};
    const unsigned char zeros[kMailFileEntryFixed - sizeof head] = {};
    return engine.fWriteBuf(file, head, sizeof head) && engine.fWriteBuf(file, name.data(), name.size()) &&
           engine.fWriteBuf(file, zeros, sizeof zeros);
}

bool WritePlainEndEntry(CKorvane& engine, CFile* file) {
    const unsigned char entry[kMailEndEntrySize] = {kMailEntryEnd};
    return engine.fWriteBuf(file, entry, sizeof entry) == 1;
}

bool WriteFileEntry(CKorvane& engine, CFile* file, const MailFileEntry& e) {
    if (!IsMailFileName(e.name)) return Refuse(msg::formats::StructureError);
    ProtectedWriter entry(engine.Records(), file);
    return entry.I32(kMailEntryFile) && entry.I32(e.dataOffset) && entry.I32(static_cast<int32_t>(e.name.size())) &&
           entry.Field(e.name.data(), e.name.size()) && entry.I32(e.storedLength) &&
           entry.Field(e.modified, kTimeTextSize) && entry.Field(e.created, kTimeTextSize) && entry.I32(e.size) &&
           entry.U8(e.attributes) && entry.U16(e.dataCrc) && entry.Finish();
}

bool WriteEndEntry(CKorvane& engine, CFile* file, int32_t signatureOffset) {
    ProtectedWriter entry(engine.Records(), file);
    return entry.I32(kMailEntryEnd) && entry.I32(signatureOffset) && entry.Finish();
}

bool WriteSignatureBlock(CKorvane& engine, CFile* file, const unsigned char* signature, size_t length) {
    if (length > kMailSignatureMax) return Refuse(msg::formats::StructureError);
    const uint32_t zero = 0, size = static_cast<uint32_t>(length);
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(&zero), 4);
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(&size), 4);
    engine.CRC_Update(signature, static_cast<int>(length));
    const uint16_t crc = engine.CRC_Final();
    return engine.fWriteBuf(file, &zero, 4) && engine.fWriteBuf(file, &size, 4) &&
           engine.fWriteBuf(file, signature, length) && engine.fWriteBuf(file, &crc, 2);
}

// ---- Readers

bool DecodeMailHeader(CKorvane& engine, const unsigned char* stored, MailHeader& out, bool* crcMatches) {
    engine.CRC_Init();
    engine.CRC_Update(stored, kMailHeaderSealed);
    ByteCursor crcField(stored + kMailHeaderSealed, 2);
    *crcMatches = StoredCrcMatches(crcField.U16le(), engine.CRC_Final());
    if (!*crcMatches) return false;
    unsigned char plain[kMailHeaderSize];
    std::memcpy(plain, stored, sizeof plain);
    if (!engine.SerialDecrypt(reinterpret_cast<const char*>(plain), kMailHeaderSealed, reinterpret_cast<char*>(plain)))
        return false;
    ByteCursor in(plain, sizeof plain);
    in.Copy(out.magic, 2);
    in.Copy(out.version, 2);
    out.mailType = in.I32le();
    out.mailFlag = in.I32le();
    out.cipherId = in.I32le();
    out.digestId = in.I32le();
    out.digestId2 = in.I32le();
    out.one = in.I32le();
    out.recipientCount = in.I32le();
    out.fileCount = in.I32le();
    out.userData = in.I32le();
    out.crc = in.U16le();
    out.zero = in.U16le();
    return in.Ok();
}

bool ReadMailHeader(CKorvane& engine, CFile* file, MailHeader& out) {
    unsigned char stored[kMailHeaderSize];
    unsigned long got = 0;
    // Too short to hold a header: no mail package at all, not one that failed to read.
    if (file->GetLength() < sizeof stored) return Refuse(msg::mail::NotMail);
    if (!engine.fReadBuf(file, stored, sizeof stored, &got, 1)) return false;
    bool crcMatches = false;
    if (DecodeMailHeader(engine, stored, out, &crcMatches)) return true;
    return crcMatches ? false : Refuse(msg::mail::HeaderCrc);
}

bool ReadSignerBlock(CKorvane& engine, CFile* file, std::string& signer) {
    ProtectedReader block(engine.Records(), file);
    uint8_t kind = 0;
    int32_t length = 0;
    if (!block.U8(kind)) return false;
    if (kind != kMailBlockKind) return Refuse(msg::mail::BadKind);
    return block.I32(length) && ReadAtMost(block, length, kMailSignerNameMax, signer, msg::mail::SignerCrc) &&
           CheckCrc(block, true, msg::mail::SignerCrc);
}

bool ReadRecipientRecord(CKorvane& engine, CFile* file, MailRecipient& out) {
    ProtectedReader record(engine.Records(), file);
    uint8_t kind = 0;
    int32_t nameLength = 0, wrappedLength = 0;
    if (!record.U8(kind)) return false;
    if (kind != kMailBlockKind) return Refuse(msg::mail::BadKind);
    if (!record.I32(nameLength) ||
        !ReadAtMost(record, nameLength, kMailRecipientNameMax, out.name, msg::mail::RecipientCrc) ||
        !record.I32(wrappedLength) || !record.I32(out.ivLength))
        return false;
    if (wrappedLength < 0 || static_cast<size_t>(wrappedLength) > kMailWrappedKeyMax)
        return Refuse(msg::mail::RecipientCrc);
    out.wrapped.resize(static_cast<size_t>(wrappedLength));
    return record.Field(out.wrapped.data(), out.wrapped.size()) && CheckCrc(record, true, msg::mail::RecipientCrc);
}

bool ReadIndexEntry(CKorvane& engine, CFile* file, MailIndexEntry& out) {
    ProtectedReader entry(engine.Records(), file);
    int32_t second = 0;
    if (!entry.I32(out.flag) || !entry.I32(second)) return false;
    if (out.flag & kMailEntryFile) {
        MailFileEntry& f = out.file;
        f.dataOffset = second;
        int32_t nameLength = 0;
        if (!entry.I32(nameLength) || !ReadAtMost(entry, nameLength, kMailFileNameMax, f.name, msg::mail::EntryCrc) ||
            !entry.I32(f.storedLength) || !entry.Field(f.modified, kTimeTextSize) ||
            !entry.Field(f.created, kTimeTextSize) || !entry.I32(f.size) || !entry.U8(f.attributes) ||
            !entry.U16(f.dataCrc))
            return false;
        f.modified[kTimeTextSize] = f.created[kTimeTextSize] = '\0';
        // The entry CRC is read without an exact length: a short read is a mismatch.
        if (!CheckCrc(entry, false, msg::mail::EntryCrc)) return false;
        // Past its CRC the entry is what the writer wrote, or a forgery: a name that is not one
        // file name, or a negative place, is refused before anything is written.
        if (!IsMailFileName(f.name) || f.dataOffset < 0 || f.storedLength < 0) return Refuse(msg::mail::EntryCrc);
        return true;
    }
    if (out.flag & kMailEntryEnd) {
        out.signatureOffset = second;
        return CheckCrc(entry, true, msg::mail::EndCrc);
    }
    ShowMessage(msg::mail::BadEntry, out.flag);
    return false;
}

bool ReadSignatureBlock(CKorvane& engine, CFile* file, std::vector<unsigned char>& signature, uint32_t* zeroField) {
    unsigned char fields[8];
    unsigned long got = 0;
    if (!engine.fReadBuf(file, fields, sizeof fields, &got, 1)) return false;
    ByteCursor in(fields, sizeof fields);
    *zeroField = in.U32le();
    uint32_t length = in.U32le();
    if (length > kMailSignatureMax) return Refuse(msg::mail::SignatureCrc);
    signature.resize(length);
    uint16_t stored = 0;
    if (!engine.fReadBuf(file, signature.data(), length, &got, 1) || !engine.fReadBuf(file, &stored, 2, &got, 1))
        return false;
    engine.CRC_Init();
    engine.CRC_Update(fields, sizeof fields);
    engine.CRC_Update(signature.data(), static_cast<int>(length));
    return StoredCrcMatches(stored, engine.CRC_Final()) || Refuse(msg::mail::SignatureCrc);
}
