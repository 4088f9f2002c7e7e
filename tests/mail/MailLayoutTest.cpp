// The mail package layout's writer and reader: what the writer stores up to each cap the reader
// reads back; one byte more is refused with the block's message before it is read.

#include <functional>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/ProtectedFields.h"
#include "mail/MailLayout.h"

namespace {

struct CapCase {
    const char* what;
    size_t cap;
    // Writes the block with the capped length `n` through the layout's writer (n <= cap) or
    // byte by byte as a forger would (n > cap).
    std::function<bool(CKorvane&, CFile*, size_t n)> write;
    std::function<bool(CKorvane&, CFile*, size_t n)> readsBack;  // reads and compares
    const char* refusal;
};

std::string Filled(size_t n) { return std::string(n, 'n'); }

}  // namespace

class MailLayoutTest : public HostTest {};

TEST_F(MailLayoutTest, LengthsUpToTheirCapsRoundTripAndOneMoreIsRefused) {
    const CapCase cases[] = {
        {"signer name", kMailSignerNameMax,
         [](CKorvane& e, CFile* f, size_t n) {
             if (n <= kMailSignerNameMax) return WriteSignerBlock(e, f, Filled(n));
             ProtectedWriter w(e, f);
             return w.U8(1) && w.I32(static_cast<int32_t>(n)) && w.Field(Filled(n).data(), n) && w.Finish();
         },
         [](CKorvane& e, CFile* f, size_t n) {
             std::string name;
             return ReadSignerBlock(e, f, name) && name == Filled(n);
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-01)"},
        {"recipient name", kMailRecipientNameMax,
         [](CKorvane& e, CFile* f, size_t n) {
             if (n <= kMailRecipientNameMax) return WriteRecipientRecord(e, f, {Filled(n), 8, {1, 2, 3}});
             ProtectedWriter w(e, f);
             return w.U8(1) && w.I32(static_cast<int32_t>(n)) && w.Field(Filled(n).data(), n) && w.I32(3) && w.I32(8) &&
                    w.Field("abc", 3) && w.Finish();
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailRecipient r;
             return ReadRecipientRecord(e, f, r) && r.name == Filled(n) && r.ivLength == 8 && r.wrapped.size() == 3;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) "},
        {"wrapped key", kMailWrappedKeyMax,
         [](CKorvane& e, CFile* f, size_t n) {
             std::vector<unsigned char> wrapped(n, 7);
             if (n <= kMailWrappedKeyMax) return WriteRecipientRecord(e, f, {"bob", 8, wrapped});
             ProtectedWriter w(e, f);
             return w.U8(1) && w.I32(3) && w.Field("bob", 3) && w.I32(static_cast<int32_t>(n)) && w.I32(8) &&
                    w.Field(wrapped.data(), n) && w.Finish();
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailRecipient r;
             return ReadRecipientRecord(e, f, r) && r.wrapped == std::vector<unsigned char>(n, 7);
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) "},
        {"file name", kMailFileNameMax,
         [](CKorvane& e, CFile* f, size_t n) {
             MailFileEntry entry;
             entry.name = Filled(n);
             entry.dataOffset = 99, entry.storedLength = 5, entry.size = 5, entry.attributes = 0x21;
             std::memcpy(entry.modified, "20240229235959", 14);
             std::memcpy(entry.created, "20240101000000", 14);
             if (n <= kMailFileNameMax) return WriteFileEntry(e, f, entry);
             ProtectedWriter w(e, f);
             return w.I32(1) && w.I32(99) && w.I32(static_cast<int32_t>(n)) && w.Field(entry.name.data(), n) &&
                    w.I32(5) && w.Field(entry.modified, 14) && w.Field(entry.created, 14) && w.I32(5) && w.U8(0x21) &&
                    w.U16(0) && w.Finish();
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailIndexEntry entry;
             return ReadIndexEntry(e, f, entry) && entry.flag == kMailEntryFile && entry.file.name == Filled(n) &&
                    entry.file.dataOffset == 99 && std::string(entry.file.modified) == "20240229235959" &&
                    entry.file.attributes == 0x21;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-03)."},
        {"signature", kMailSignatureMax,
         [](CKorvane& e, CFile* f, size_t n) {
             std::vector<unsigned char> signature(n, 9);
             if (n <= kMailSignatureMax) return WriteSignatureBlock(e, f, signature.data(), n);
             const uint32_t zero = 0, length = static_cast<uint32_t>(n);
             const uint16_t crc = 0;
             return e.fWriteBuf(f, &zero, 4) && e.fWriteBuf(f, &length, 4) && e.fWriteBuf(f, signature.data(), n) &&
                    e.fWriteBuf(f, &crc, 2);
         },
         [](CKorvane& e, CFile* f, size_t n) {
             std::vector<unsigned char> signature;
             uint32_t zero = 1;
             return ReadSignatureBlock(e, f, signature, &zero) && zero == 0 && signature.size() == n;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-09). "},
    };
    for (const CapCase& c : cases) {
        for (size_t n : {c.cap, c.cap + 1}) {
            CKorvane engine;
            CMemFile file;
            host.Clear();
            ASSERT_TRUE(c.write(engine, &file, n)) << c.what << " " << n;
            file.SeekToBegin();
            bool read = c.readsBack(engine, &file, n);
            EXPECT_EQ(read, n == c.cap) << c.what << " " << n;
            if (n == c.cap) {
                EXPECT_TRUE(host.Messages().empty()) << c.what;
            } else {
                ASSERT_EQ(host.Messages().size(), 1u) << c.what;
                EXPECT_EQ(host.Messages()[0].text, c.refusal) << c.what;
                EXPECT_LE(file.GetPosition(), 16u) << c.what << ": read before refusing";
            }
        }
    }
}

TEST_F(MailLayoutTest, WritersRefuseWhatReadersWouldRefuse) {
    CKorvane engine;
    CMemFile file;
    for (const char* name : {"", ".", "..", "a/b", "a\\b"}) {
        host.Clear();
        EXPECT_FALSE(WritePlainFileEntry(engine, &file, name)) << name;
        EXPECT_EQ(host.Messages().size(), 1u);
    }
    EXPECT_FALSE(WriteSignerBlock(engine, &file, Filled(kMailSignerNameMax + 1)));
    EXPECT_FALSE(WriteRecipientRecord(engine, &file, {Filled(kMailRecipientNameMax + 1), 8, {1}}));
    EXPECT_EQ(file.GetLength(), 0u);
}
