#include "DamagedFile.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/EnvelopeRecords.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/CMemFile.h"

namespace {

size_t At(CFile& f) { return static_cast<size_t>(f.GetPosition()); }

std::vector<unsigned char> Vector(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }

std::string Bytes(const CMemFile& f) { return std::string(reinterpret_cast<const char*>(f.Data()), f.GetLength()); }

}  // namespace

DamagedFile::DamagedFile(SecuredKind kind, const std::string& path) : m_valid(ReadFile(path)) { Find(kind, path); }

void DamagedFile::Find(SecuredKind kind, const std::string& path) {
    CKorvane e;
    CFile f;
    if (!f.Open(path, CFile::modeRead)) {
        ADD_FAILURE() << "cannot open " << path;
        return;
    }
    if (kind == SecuredKind::kMail) {
        FindMailRecords(e, f);
        return;
    }
    EncryptFlag head;
    ASSERT_EQ(e.ReadEncryptedFileHead(&f, &head, nullptr), 1);
    Add("head", 0, offsetof(EncryptFlag, headCrc) + 2);
    if (kind == SecuredKind::kSignature) {
        Add("record", kHeadSize, m_valid.size());
        return;
    }
    if (kind == SecuredKind::kEnvelope) {
        Verify_IndexInfo sender;
        ASSERT_TRUE(ReadSenderRecord(e.Records(), &f, sender));
        Add("sender", kHeadSize, At(f));
        for (int32_t i = 0; i < head.count; ++i) {
            size_t begin = At(f);
            auto recipient = std::make_unique<Decrypt_Info>();
            ASSERT_TRUE(ReadRecipientRecord(e.Records(), &f, false, *recipient));
            Add("recipient", begin, At(f));
        }
    }
    int32_t trailer = FindPackageRecords(e, f, kind == SecuredKind::kPassword);
    if (kind == SecuredKind::kEnvelope) Add("trailer", static_cast<size_t>(trailer), m_valid.size());
}

int32_t DamagedFile::FindPackageRecords(CKorvane& e, CFile& f, bool keyCheck) {
    if (keyCheck) {
        size_t begin = At(f);
        std::vector<unsigned char> check, iv;
        EXPECT_TRUE(ReadKeyCheckBlock(e.Records(), &f, check, iv));
        Add("key check", begin, At(f));
    }
    PackageRecordReader reader(e.Records(), &f, false);
    PackageRecord record;
    while (record.type != kRecordEnd) {
        size_t begin = At(f);
        if (!reader.Next(record)) {
            ADD_FAILURE() << "the valid package does not read";
            return 0;
        }
        Add(record.type == kRecordDirectory ? "directory" : record.type == kRecordFile ? "file" : "end", begin, At(f));
    }
    return record.second;
}

void DamagedFile::FindMailRecords(CKorvane& e, CFile& f) {
    MailHeader header;
    ASSERT_TRUE(ReadMailHeader(e, &f, header));
    Add("header", 0, kMailHeaderSealed + 2);
    if (header.mailFlag & kMailFlagSign) {
        size_t begin = At(f);
        std::string signer;
        ASSERT_TRUE(ReadSignerBlock(e, &f, signer));
        Add("signer", begin, At(f));
    }
    for (int32_t i = 0; (header.mailFlag & kMailFlagEncrypt) && i < header.recipientCount; ++i) {
        size_t begin = At(f);
        MailRecipient recipient;
        ASSERT_TRUE(ReadRecipientRecord(e, &f, recipient));
        Add("recipient", begin, At(f));
    }
    for (MailIndexEntry entry; !(entry.flag & kMailEntryEnd);) {
        size_t begin = At(f);
        ASSERT_TRUE(ReadIndexEntry(e, &f, entry));
        Add(entry.flag & kMailEntryEnd ? "end entry" : "entry", begin, At(f));
        if (entry.flag & kMailEntryEnd && header.mailFlag & kMailFlagSign)
            Add("signature", static_cast<size_t>(entry.signatureOffset), m_valid.size());
    }
}

const RecordSpan& DamagedFile::Record(const std::string& name, int nth) const {
    for (const RecordSpan& r : m_records)
        if (r.name == name && nth-- == 0) return r;
    ADD_FAILURE() << "no record " << name;
    return m_records.front();
}

int32_t DamagedFile::I32(const RecordSpan& record, size_t offset) const {
    CKorvane e;
    int32_t value = 0;
    e.SerialDecrypt(m_valid.data() + record.begin + offset, 4, reinterpret_cast<char*>(&value));
    return value;
}

std::string DamagedFile::FlipCrc(const RecordSpan& record) const { return FlipByte(record.crcAt); }

std::string DamagedFile::FlipByte(size_t at) const {
    std::string bytes = m_valid;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    return bytes;
}

std::string DamagedFile::Sealed(const std::string& plain) const {
    CKorvane e;
    std::string out = plain;
    e.SerialEncrypt(plain.data(), static_cast<int>(plain.size()), out.data());
    return out;
}

void DamagedFile::Reseal(std::string& bytes, size_t begin, size_t crcAt) {
    CKorvane e;
    e.CRC_Init();
    e.CRC_Update(reinterpret_cast<const unsigned char*>(bytes.data() + begin), static_cast<int>(crcAt - begin));
    uint16_t crc = e.CRC_Final();
    bytes[crcAt] = static_cast<char>(crc & 0xFF);
    bytes[crcAt + 1] = static_cast<char>(crc >> 8);
}

std::string DamagedFile::SetField(const RecordSpan& record, size_t offset, size_t size, const std::string& plain,
                                  bool sealed) const {
    std::string bytes = m_valid;
    bytes.replace(record.begin + offset, size, sealed ? Sealed(plain) : plain);
    Reseal(bytes, record.begin, record.crcAt + plain.size() - size);
    return bytes;
}

std::string DamagedFile::SetI32(const RecordSpan& record, size_t offset, int32_t value, bool sealed) const {
    return SetField(record, offset, 4, std::string(reinterpret_cast<const char*>(&value), 4), sealed);
}

std::string DamagedFile::WithHead(const std::function<void(EncryptFlag&)>& change) const {
    CKorvane e;
    CMemFile in, out;
    in.Attach(Vector(m_valid));
    EncryptFlag head;
    EXPECT_EQ(e.ReadEncryptedFileHead(&in, &head, nullptr), 1);
    change(head);
    EXPECT_EQ(e.WriteEncryptedFileHead(&out, &head), 1);
    return Bytes(out) + m_valid.substr(kHeadSize);
}

std::string DamagedFile::WithMailHeader(const std::function<void(MailHeader&)>& change) const {
    CKorvane e;
    CMemFile in, out;
    in.Attach(Vector(m_valid));
    MailHeader header;
    EXPECT_TRUE(ReadMailHeader(e, &in, header));
    change(header);
    EXPECT_TRUE(WriteMailHeader(e, &out, header));
    return Bytes(out) + m_valid.substr(kMailHeaderSize);
}
