// The mail package layout's writer and reader: what the writer stores up to each Max the reader
// reads back; the same block with its length one past the cap (CRC sealed again) is refused
// with the block's message before the field is read.

#include <functional>

#include "TestSupport.h"
#include "damage/DamagedFile.h"
#include "engine/Korvane.h"
#include "mail/MailLayout.h"

namespace {

struct CapCase {
    const char* what;
    size_t cap;
    size_t lengthAt;                                             // where the capped length lies in the block
    bool sealed;                                                 // whether that length is enciphered
    std::function<bool(CKorvane&, CFile*, size_t n)> write;      // through the layout's writer
    std::function<bool(CKorvane&, CFile*, size_t n)> readsBack;  // reads and compares
    const char* refusal;
};

std::string Filled(size_t n) { return std::string(n, 'n'); }

std::string Bytes(const CMemFile& f) { return std::string(reinterpret_cast<const char*>(f.Data()), f.GetLength()); }

}  // namespace

class MailLayoutTest : public HostTest {};

TEST_F(MailLayoutTest, LengthsUpToTheirCapsRoundTripAndOneMoreIsRefusedBeforeItIsRead) {
    const CapCase cases[] = {
        {"signer name", kMailSignerNameMax, 1, true,
         [](CKorvane& e, CFile* f, size_t n) { return WriteSignerBlock(e, f, Filled(n)); },
         [](CKorvane& e, CFile* f, size_t n) {
             std::string name;
             return ReadSignerBlock(e, f, name) && name == Filled(n);
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-01)"},
        {"recipient name", kMailRecipientNameMax, 1, true,
         [](CKorvane& e, CFile* f, size_t n) {
             return WriteRecipientRecord(e, f, {Filled(n), 8, {1, 2, 3}});
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailRecipient r;
             return ReadRecipientRecord(e, f, r) && r.name == Filled(n) && r.ivLength == 8 && r.wrapped.size() == 3;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) "},
        {"wrapped key", kMailWrappedKeyMax, 1 + 4 + 3, true,
         [](CKorvane& e, CFile* f, size_t n) {
             return WriteRecipientRecord(e, f, {"bob", 8, std::vector<unsigned char>(n, 7)});
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailRecipient r;
             return ReadRecipientRecord(e, f, r) && r.wrapped == std::vector<unsigned char>(n, 7);
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) "},
        {"file name", kMailFileNameMax, 8, true,
         [](CKorvane& e, CFile* f, size_t n) {
             MailFileEntry entry;
             entry.name = Filled(n);
             entry.dataOffset = 99, entry.storedLength = 5, entry.size = 5, entry.attributes = 0x21;
             std::memcpy(entry.modified, "20240229235959", 14);
             std::memcpy(entry.created, "20240101000000", 14);
             return WriteFileEntry(e, f, entry);
         },
         [](CKorvane& e, CFile* f, size_t n) {
             MailIndexEntry entry;
             return ReadIndexEntry(e, f, entry) && entry.flag == kMailEntryFile && entry.file.name == Filled(n) &&
                    entry.file.dataOffset == 99 && std::string(entry.file.modified) == "20240229235959" &&
                    entry.file.attributes == 0x21;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-03)."},
        {"signature", kMailSignatureMax, 4, false,
         [](CKorvane& e, CFile* f, size_t n) {
             std::vector<unsigned char> signature(n, 9);
             return WriteSignatureBlock(e, f, signature.data(), n);
         },
         [](CKorvane& e, CFile* f, size_t n) {
             std::vector<unsigned char> signature;
             uint32_t zero = 1;
             return ReadSignatureBlock(e, f, signature, &zero) && zero == 0 && signature.size() == n;
         },
         "CRC校验错, 邮件被损坏, 不能解密邮件(215-09). "},
    };
    for (const CapCase& c : cases) {
        SCOPED_TRACE(c.what);
        CKorvane engine;
        CMemFile written;
        host.Clear();
        ASSERT_TRUE(c.write(engine, &written, c.cap));
        written.SeekToBegin();
        EXPECT_TRUE(c.readsBack(engine, &written, c.cap));
        EXPECT_TRUE(host.Messages().empty());

        DamagedFile block(Bytes(written));
        const std::string bytes =
            block.SetI32(block.Records()[0], c.lengthAt, static_cast<int32_t>(c.cap + 1), c.sealed);
        CMemFile over;
        over.Attach(std::vector<unsigned char>(bytes.begin(), bytes.end()));
        EXPECT_FALSE(c.readsBack(engine, &over, c.cap + 1));
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{c.refusal});
        EXPECT_LE(over.GetPosition(), 16u) << "read before refusing";
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
