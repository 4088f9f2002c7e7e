// Envelope packages made for some users: each recipient restores them and verifies the
// sender's signature; everybody else is refused; damage is caught by the record CRCs, the
// content CRC and the signature.

#include <utime.h>

#include <cstring>

#include "EnvelopeFixture.h"
#include "damage/DamagedFile.h"
#include "engine/Crc16.h"
#include "formats/EncryptFlag.h"
#include "formats/EnvelopeRecords.h"
#include "formats/ProtectedFields.h"
#include "logon/ILogon.h"

namespace fs = std::filesystem;

namespace {

const char kNoPermission[] = "对不起,您没有解密此文件的权限.";

}  // namespace

class EnvelopePackage : public EnvelopeTest {
protected:
    void MakeTree() {
        fs::create_directories(dir / "src/tree/sub/empty");
        WriteFile(dir / "src/tree/a.txt", "alpha");
        WriteFile(dir / "src/tree/sub/big.bin", RandomBytes(kStreamBlockSize + 1000, 3));
        WriteFile(dir / "src/tree/sub/ro.txt", "read only");
        struct utimbuf times {
            1500000000, 1500000000
        };
        ::utime((dir / "src/tree/a.txt").c_str(), &times);
        fs::permissions(dir / "src/tree/sub/ro.txt",
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }

    // A package from alice to bob holding one file, as engines of format version "10" wrote
    // it: the IV wrapped on its own, a file record with one time, no digest-only flag.
    void WriteOldPackage(const std::string& name, const std::string& content) {
        LogOn("alice");
        CKorvane e;
        CFile f(dir / name, CFile::modeCreate | CFile::modeReadWrite);
        EncryptFlag head;
        e.InitEncryptFlag(&head, kKindEnvelope);
        std::memcpy(head.version, "10", 2);
        head.cipherId = 46;
        head.count = 1;
        head.itemCount = 1;
        ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);
        LogonKeyRecord keyRecord;
        LogonUserRecord alice;
        ASSERT_TRUE(logon.GetUserRecords(keyRecord, alice, "alice"));
        ASSERT_TRUE(WriteSenderRecord(e, &f, logon.GetSenderIdentity("alice", kKindEnvelope), alice.certName));

        Decrypt_UserInfo bob{};
        ASSERT_TRUE(FillRecipient(logon, "bob", bob));
        const unsigned char key[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6},
                            iv[8] = {1, 3, 5, 7, 9, 11, 13, 15};
        unsigned char wrappedKey[kLogonWrapOutCap], wrappedIv[kLogonWrapOutCap];
        const int w = logon.WrapSessionKey(16, key, wrappedKey, bob.userNumber);
        const int v = logon.WrapSessionKey(8, iv, wrappedIv, bob.userNumber);
        ASSERT_GT(w, 0);
        ASSERT_GT(v, 0);
        ProtectedWriter recipient(e, &f);
        ASSERT_TRUE(recipient.I32(static_cast<int32_t>(std::strlen(bob.displayText))) &&
                    recipient.Field(bob.displayText, std::strlen(bob.displayText)) &&
                    recipient.I32(static_cast<int32_t>(std::strlen(bob.keyText))) &&
                    recipient.Field(bob.keyText, std::strlen(bob.keyText)) && recipient.I32(w) &&
                    recipient.Field(wrappedKey, static_cast<size_t>(w)) && recipient.I32(v) &&
                    recipient.Field(wrappedIv, static_cast<size_t>(v)) && recipient.Finish());

        std::string cipher(content.size(), '\0');
        int produced = 0;
        ASSERT_EQ(e.Evp_EncryptInit(key, iv, 46), 1);
        e.Evp_EncryptUpdate(reinterpret_cast<unsigned char*>(cipher.data()), &produced,
                            reinterpret_cast<const unsigned char*>(content.data()), static_cast<int>(content.size()));
        unsigned char tail[16];
        e.Evp_EncryptFinalEx(tail, &produced);
        const uint16_t crc =
            Crc16Final(Crc16Update(0xFFFF, reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()));
        const std::string file = "old.bin";
        const int32_t offset = static_cast<int32_t>(f.GetPosition()) + (4 + 4 + 4 + 2) +
                               (4 + 4 + 4 + static_cast<int32_t>(file.size()) + 4 + 14 + 4 + 1 + 2 + 2) + 10;
        ProtectedWriter folder(e, &f);
        ASSERT_TRUE(folder.I32(10) && folder.I32(0) && folder.I32(0) && folder.Finish());
        ProtectedWriter record(e, &f);
        ASSERT_TRUE(record.I32(9) && record.I32(offset) && record.I32(static_cast<int32_t>(file.size())) &&
                    record.Field(file.data(), file.size()) && record.I32(static_cast<int32_t>(cipher.size())) &&
                    record.Field("20030105090703", 14) && record.I32(static_cast<int32_t>(content.size())) &&
                    record.U8(0x20) && record.U16(crc) && record.Finish());
        ASSERT_EQ(e.WriteEndofHead(&f, offset + static_cast<int32_t>(cipher.size())), 1);
        ASSERT_EQ(static_cast<int32_t>(f.GetPosition()), offset);
        f.Write(cipher.data(), static_cast<unsigned>(cipher.size()));

        ASSERT_EQ(e.Evp_SignInit(head.digestId2), 1);
        e.Evp_SignUpdate(reinterpret_cast<const unsigned char*>(content.data()), static_cast<unsigned>(content.size()));
        unsigned char signature[1024];
        unsigned int length = 0;
        ASSERT_EQ(e.Evp_SignFinal(signature, &length, "alice", Password("alice").c_str()), 1);
        ProtectedWriter trailer(e, &f);
        ASSERT_TRUE(trailer.Plain(&length, 4) && trailer.Plain(signature, length) && trailer.Finish());
    }
};

TEST_F(EnvelopePackage, OpensForEachRecipientAndRefusesEverybodyElse) {
    MakeTree();
    ASSERT_EQ(Pack({"src/tree"}), 1);
    for (const char* reader : {"bob", "alice"}) {
        fs::remove_all(dir / "out");
        host.Clear();
        ASSERT_EQ(Restore(reader), 1) << reader << ": restored and the signature verified";
        EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];
        EXPECT_EQ(ReadFile(dir / "out/tree/a.txt"), "alpha");
        EXPECT_EQ(ReadFile(dir / "out/tree/sub/big.bin"), RandomBytes(kStreamBlockSize + 1000, 3));
        EXPECT_TRUE(fs::is_directory(dir / "out/tree/sub/empty"));
        EXPECT_EQ(ModifiedAt(dir / "out/tree/a.txt"), 1500000000);
        EXPECT_EQ(fs::status(dir / "out/tree/sub/ro.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    }

    fs::remove_all(dir / "out");
    host.Clear();
    EXPECT_EQ(Restore("carol"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoPermission});
    EXPECT_FALSE(fs::exists(dir / "out/tree"));

    // In a batch the refusal is silent: the batch's summary reports it once.
    host.Clear();
    EXPECT_EQ(Restore("carol", "e.vrk", 1), 0);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(batchSuccess, 0);
}

TEST_F(EnvelopePackage, ChangedContentKeptOnRequestStillFailsTheSignature) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/note.txt", "a note of some length");
    ASSERT_EQ(Pack({"src/note.txt"}), 1);
    // The byte in front of the signature trailer is the file's last ciphertext byte.
    DamagedFile package(SecuredKind::kEnvelope, dir / "e.vrk");
    WriteFile(dir / "e.vrk", package.FlipByte(package.Record("trailer").begin - 1));
    host.AddAnswer("yes-no", "yes");
    EXPECT_EQ(Restore("bob"), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"文件内容CRC校验错, 是否继续? ", "数字签名验证不正确。"}));
}

// Without a preset folder a package from somebody else restores beside itself (a shared one
// found by the reader's key text); only the user's own package goes back to the folder its
// files came from.
TEST_F(EnvelopePackage, DirectRestoreGoesBesideThePackageUnlessItIsTheUsersOwn) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "inbox");
    WriteFile(dir / "src/note.txt", "original");
    WriteFile(dir / "src/plan.txt", "shared plan");
    ASSERT_EQ(Pack({"src/note.txt"}, {"bob"}, "inbox/e.vrk"), 1);
    ASSERT_EQ(Pack({"src/plan.txt"}, {"bob"}, "inbox/s.vrk", "alice", kKindShared), 1);
    fs::remove(dir / "src/note.txt");
    for (auto [reader, package] : {std::pair{"bob", "inbox/e.vrk"}, {"bob", "inbox/s.vrk"}, {"alice", "inbox/e.vrk"}}) {
        LogOn(reader);
        CKorvane e;
        EXPECT_EQ(e.EnvelopDecryptFiles((dir / package).c_str(), nullptr, 1, 0), 1) << reader << " " << package;
    }
    EXPECT_EQ(ReadFile(dir / "inbox/note.txt"), "original") << "bob's copy lands beside the package";
    EXPECT_EQ(ReadFile(dir / "inbox/plan.txt"), "shared plan");
    EXPECT_EQ(ReadFile(dir / "src/note.txt"), "original") << "alice's own package goes back where it came from";
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(Restore("carol", "inbox/s.vrk"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoPermission});
}

// A pack that fails half-way leaves nothing behind and never touches a file already at the
// package's path.
TEST_F(EnvelopePackage, FailedPackLeavesTheExistingFileAndNoPackage) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/a.txt", "a");
    WriteFile(dir / "e.vrk", "precious");
    EXPECT_EQ(Pack({"src/a.txt"}, {"nobody"}), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"公钥不存在，不能加密."});
    EXPECT_EQ(ReadFile(dir / "e.vrk"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 2) << "no temporary file";
}

TEST_F(EnvelopePackage, VersionTenPackageRestoresAndItsSignatureVerifies) {
    const std::string content = RandomBytes(kStreamBlockSize + 500, 21);
    WriteOldPackage("old.vrk", content);
    ASSERT_EQ(Restore("bob", "old.vrk"), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(ReadFile(dir / "out/old.bin"), content);
    struct tm local = {};
    local.tm_year = 103, local.tm_mon = 0, local.tm_mday = 5, local.tm_hour = 9, local.tm_min = 7, local.tm_sec = 3;
    local.tm_isdst = -1;
    EXPECT_EQ(ModifiedAt(dir / "out/old.bin"), std::mktime(&local));
    host.Clear();
    EXPECT_EQ(Restore("carol", "old.vrk"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoPermission});
}
