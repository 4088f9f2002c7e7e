#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "engine/CheckedRecordIo.h"
#include "engine/Korvane.h"
#include "formats/ByteCursor.h"
#include "formats/EncryptFlag.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/MessageBox.h"

namespace {

const char* const kCrc123 = "CRC校验错,文件已损坏, 不能解密-123";
const char* const kShortRead = "文件可能被修改，读文件错,";

class SecuredHead : public HostTest {
protected:
    EncryptFlag PlainHead(uint8_t kind = kKindEnvelope) {
        EncryptFlag head;
        engine.InitEncryptFlag(&head, kind);
        head.count = 3;
        std::strcpy(head.baseFolder, "/home/user/数据/");
        head.itemCount = 7;
        head.listLength = 1234;
        return head;
    }
    // The 300 stored bytes of a sealed head, as a file holds them.
    std::string StoredHead(const EncryptFlag& plain) {
        std::string path = dir / "h.bin";
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        EXPECT_EQ(engine.WriteEncryptedFileHead(&file, &plain), 1);
        file.Close();
        return ReadFile(path);
    }
    EncryptFlag WithVersion(const char* version, uint8_t kind = kKindPassword) {
        EncryptFlag head = PlainHead(kind);
        std::memcpy(head.version, version, 2);
        return head;
    }

    CKorvane engine;
};

// What a head holds is stored enciphered; its CRC covers every byte but the padding.
TEST_F(SecuredHead, StoredEncipheredAndEveryProtectedByteIsCoveredByTheCrc) {
    const EncryptFlag plain = PlainHead();
    std::string stored = StoredHead(plain);
    ASSERT_EQ(stored.size(), kHeadSize);
    EXPECT_NE(stored.substr(0, 2), "KF");
    EXPECT_EQ(stored.find("/home/user"), std::string::npos);
    for (size_t offset = 0; offset < kHeadSize; ++offset) {
        bool padding = (offset >= 5 && offset <= 7) || offset >= 298;
        std::string damaged = stored;
        damaged[offset] = static_cast<char>(damaged[offset] ^ 0x40);
        EncryptFlag head;
        std::memcpy(&head, damaged.data(), kHeadSize);
        host.Clear();
        int ok = engine.UnsealEncryptFlag(&head, kCrc123);
        EXPECT_EQ(ok, padding ? 1 : 0) << "offset " << offset;
        if (!padding) {
            EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kCrc123}) << "offset " << offset;
            EXPECT_EQ(std::memcmp(&head, damaged.data(), kHeadSize), 0) << "nothing deciphered";
        }
    }
    // And through a file: read back field for field; one flipped byte of the base folder is
    // refused with the message.
    host.Clear();
    EncryptFlag head;
    ASSERT_EQ(engine.GetEncryptedFileHead((dir / "h.bin").c_str(), &head, 1), 1);
    EXPECT_EQ(std::memcmp(&head, &plain, offsetof(EncryptFlag, headCrc)), 0) << "every field as written";
    stored[100] = static_cast<char>(stored[100] ^ 1);
    WriteFile(dir / "bad", stored);
    EXPECT_EQ(engine.GetEncryptedFileHead((dir / "bad").c_str(), &head, 1), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kCrc123});
    host.Clear();
    EXPECT_EQ(engine.GetEncryptedFileHead((dir / "bad").c_str(), &head, 0), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SecuredHead, MissingFileShowsTheOpenErrorOnlyWhenAsked) {
    EncryptFlag missing;
    EXPECT_EQ(engine.GetEncryptedFileHead((dir / "none").c_str(), &missing, 0), 0);
    EXPECT_TRUE(host.Messages().empty()) << "the open error is shown only when asked";
    EXPECT_EQ(engine.GetEncryptedFileHead((dir / "none").c_str(), &missing, 1), 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text.rfind("打开文件失败.\n", 0), 0u);
    EXPECT_GT(host.Messages()[0].text.size(), std::strlen("打开文件失败.\n"));
    EXPECT_EQ(host.Messages()[0].type & MB_ICONMASK, unsigned{MB_ICONSTOP});
}

TEST_F(SecuredHead, VersionIsComparedAsANumberAndNewerFilesAreRefusedWithTheirVersion) {
    EXPECT_EQ(engine.CheckEncryptedFileHead(WithVersion("31"), kPasswordHeadRules), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"请使用本软件的高版本(加密版本为: 3.10)解密此文件."});
    host.Clear();
    EXPECT_EQ(engine.CheckEncryptedFileHead(WithVersion("10"), kPasswordHeadRules), 1);
    EXPECT_EQ(engine.CheckEncryptedFileHead(WithVersion("30"), kPasswordHeadRules), 1);
    EXPECT_EQ(engine.CheckEncryptedFileHead(WithVersion("29"), kPasswordHeadRules), 1);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SecuredHead, EachReaderAcceptsItsOwnKindsAndIdentifiersInOrder) {
    EncryptFlag shared = PlainHead(kKindShared);
    EXPECT_EQ(engine.CheckEncryptedFileHead(shared, kEnvelopeHeadRules), 1);
    EXPECT_EQ(engine.CheckEncryptedFileHead(shared, kPasswordHeadRules), 0);
    EXPECT_EQ(engine.CheckEncryptedFileHead(PlainHead(3), kEnvelopeHeadRules), 0) << "a kind is one bit";
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"这不是一个密码加密文件", "这不是一个数字信封加密文件"}));

    host.Clear();
    EncryptFlag head = PlainHead(kKindEnvelope);
    head.magic[1] = 'P';
    EXPECT_EQ(engine.CheckEncryptedFileHead(head, kEnvelopeHeadRules), 0);
    head = PlainHead(kKindEnvelope);
    head.cipherId = 122;
    EXPECT_EQ(engine.CheckEncryptedFileHead(head, kEnvelopeHeadRules), 0);
    head = PlainHead(kKindEnvelope);
    head.one = 0;
    EXPECT_EQ(engine.CheckEncryptedFileHead(head, kEnvelopeHeadRules), 0);
    EXPECT_EQ(engine.CheckEncryptedFileHead(head, kPasswordHeadRules), 0) << "wrong kind comes first";
    EXPECT_EQ(host.MessageTexts(),
              (std::vector<std::string>{"这不是一个加密文件, 或者文件已被破坏.", "不支持的加密算法", "不支持的加密算法",
                                        "这不是一个密码加密文件"}));

    // A signature reader tells an envelope apart by its kind before looking at its version.
    host.Clear();
    EncryptFlag envelope = WithVersion("40", kKindEnvelope);
    EXPECT_EQ(engine.CheckEncryptedFileHead(envelope, kSignatureHeadRules), 0);
    EncryptFlag signature = PlainHead(kKindSignMail);
    EXPECT_EQ(signature.cipherId, 0);
    EXPECT_EQ(engine.CheckEncryptedFileHead(signature, kSignatureHeadRules), 1);
    signature.digestId2 = 43;
    EXPECT_EQ(engine.CheckEncryptedFileHead(signature, kSignatureHeadRules), 0);
    EXPECT_EQ(host.MessageIds(),
              (std::vector<std::string>{"formats.NotSignature", "formats.UnsupportedSignatureDigest"}));

    host.Clear();
    EXPECT_EQ(engine.CheckEncryptedFileHead(WithVersion("31"), kAnyHeadRules), 0);
    EXPECT_EQ(engine.CheckEncryptedFileHead(PlainHead(kKindSignUser), kAnyHeadRules), 1);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SecuredHead, EndOfHeadRecordRoundTripsAndAnyDamageIsRefused) {
    std::string path = dir / "p";
    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        ASSERT_EQ(engine.AddEndofHead(&file), 1);
        ASSERT_EQ(engine.WriteEndofHead(&file, 0x01020304), 1);
    }
    std::string stored = ReadFile(path);
    auto readAt = [&](const std::string& bytes, int32_t* second) {
        WriteFile(dir / "d", bytes);
        CFile in(dir / "d", CFile::modeRead);
        in.Seek(10, CFile::begin);
        return engine.ReadEndofHead(&in, second, "crc");
    };
    int32_t second = 0;
    EXPECT_EQ(readAt(stored, &second), 1);
    EXPECT_EQ(second, 0x01020304);
    EXPECT_EQ(readAt(stored.substr(10) + stored.substr(0, 10), &second), 0) << "the plain form is not final";
    for (size_t offset = 10; offset < 20; ++offset) {
        std::string damaged = stored;
        damaged[offset] = static_cast<char>(damaged[offset] ^ 0x10);
        EXPECT_EQ(readAt(damaged, &second), 0) << offset;
    }
    host.Clear();
    EXPECT_EQ(readAt(stored.substr(0, 15), &second), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kShortRead});

    host.Clear();
    CFile readOnly(path, CFile::modeRead);
    EXPECT_EQ(engine.AddEndofHead(&readOnly), 0);
    EXPECT_EQ(host.Messages().size(), 1u) << "a failed write stops the record with one message";
}

// The layouts need only a record I/O object: the worked example of the package format, written
// and read back with no engine object, and a head sealed so reads back through the engine.
TEST_F(SecuredHead, RecordsWrittenWithoutTheEngineAreTheWorkedExampleBytes) {
    auto bytes = [](std::initializer_list<int> list) {
        std::string out;
        for (int b : list) out += static_cast<char>(b);
        return out;
    };
    CheckedRecordIo io;
    const std::string path = dir / "records";
    {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        ASSERT_TRUE(WritePlainDirectoryRecord(io, &file, "zz\\"));
        ASSERT_TRUE(SealDirectoryRecord(io, &file, "zz\\"));
        ASSERT_TRUE(WritePlainEndRecord(io, &file));
        ASSERT_TRUE(SealEndRecord(io, &file, 0));
    }
    EXPECT_EQ(ReadFile(path), bytes({0x0a, 0,    0,    0,    0,    0,    0,    0,    3,    0,    0,
                                     0,    0x7a, 0x7a, 0x5c, 0,    0,                                   // plain
                                     0x61, 0x09, 0xbb, 0x9a, 0x6b, 0x09, 0xbb, 0x9a, 0x68, 0x09, 0xbb,  // sealed
                                     0x9a, 0x11, 0x73, 0xe7, 0x5d, 0x40,                                //
                                     4,    0,    0,    0,    0,    0,    0,    0,    0,    0,           // plain end
                                     0x6f, 0x09, 0xbb, 0x9a, 0x6b, 0x09, 0xbb, 0x9a, 0xd0, 0x05}));     // sealed end
    CFile in(path, CFile::modeRead);
    in.Seek(17, CFile::begin);
    PackageRecordReader reader(io, &in, false);
    PackageRecord record;
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(record.type, kRecordDirectory);
    int32_t second = -1;
    in.Seek(17 + 17 + 10, CFile::begin);
    EXPECT_TRUE(PackageRecordReader(io, &in, false).ReadEnd(&second, &msg::formats::EndCrc7));
    EXPECT_EQ(second, 0);

    const EncryptFlag plain = PlainHead();
    CFile head(dir / "head", CFile::modeCreate | CFile::modeReadWrite);
    ASSERT_TRUE(WriteHead(io, &head, plain));
    EncryptFlag read;
    ASSERT_EQ(engine.ReadEncryptedFileHead(&head, &read, kCrc123), 1);
    EXPECT_EQ(std::memcmp(&read, &plain, offsetof(EncryptFlag, headCrc)), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST(ByteCursor, ReadsLittleEndianAndStaysFailedOnceBytesRunShort) {
    const uint8_t bytes[] = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xAA, 0xBB};
    ByteCursor c(bytes, sizeof bytes);
    EXPECT_EQ(c.U8(), 0x01);
    EXPECT_EQ(c.U16le(), 0x1234);
    EXPECT_EQ(c.U32le(), 0x12345678u);
    EXPECT_TRUE(c.Take(3).empty());
    EXPECT_EQ(c.U8(), 0) << "the two bytes that remained are not handed out after a failure";
    EXPECT_FALSE(c.Ok());
    ByteCursor huge(bytes, sizeof bytes);
    huge.U8();
    EXPECT_TRUE(huge.Take(SIZE_MAX).empty()) << "no overflow in the bounds check";
}

}  // namespace
