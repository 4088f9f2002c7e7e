// What envelope packages alone do: the sender's signature is verified even over content kept
// on request, a direct restore goes beside the package, the old layout still opens.

#include <cstring>

#include "EnvelopeFixture.h"
#include "OldLayout.h"
#include "damage/DamagedFile.h"
#include "formats/EnvelopeRecords.h"
#include "logon/ILogon.h"

namespace fs = std::filesystem;

namespace {

const char kNoPermission[] = "对不起,您没有解密此文件的权限.";

}  // namespace

class EnvelopePackage : public EnvelopeTest {
protected:
    // A package from alice to bob holding one file, as engines of format version "10" wrote
    // it: the IV wrapped on its own, a file record with one time, no digest-only flag.
    void WriteOldPackage(const std::string& name, const std::string& content) {
        LogOn("alice");
        CKorvane e;
        CFile f(dir / name, CFile::modeCreate | CFile::modeReadWrite);
        EncryptFlag head;
        ASSERT_NO_FATAL_FAILURE(WriteOldHead(e, f, head, kKindEnvelope, 1));
        LogonKeyRecord keyRecord;
        LogonUserRecord alice;
        ASSERT_TRUE(logon.GetUserRecords(keyRecord, alice, "alice"));
        ASSERT_TRUE(
            WriteSenderRecord(e.Records(), &f, logon.GetSenderIdentity("alice", kKindEnvelope), alice.certName));

        Decrypt_UserInfo bob{};
        ASSERT_TRUE(FillRecipient(logon, "bob", bob));
        const unsigned char key[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6},
                            iv[8] = {1, 3, 5, 7, 9, 11, 13, 15};
        unsigned char wrappedKey[kLogonWrapOutRoom], wrappedIv[kLogonWrapOutRoom];
        const int w = logon.WrapSessionKey(16, key, wrappedKey, bob.userNumber);
        const int v = logon.WrapSessionKey(8, iv, wrappedIv, bob.userNumber);
        ASSERT_GT(w, 0);
        ASSERT_GT(v, 0);
        ProtectedWriter recipient(e.Records(), &f);
        ASSERT_TRUE(recipient.I32(static_cast<int32_t>(std::strlen(bob.displayText))) &&
                    recipient.Field(bob.displayText, std::strlen(bob.displayText)) &&
                    recipient.I32(static_cast<int32_t>(std::strlen(bob.keyText))) &&
                    recipient.Field(bob.keyText, std::strlen(bob.keyText)) && recipient.I32(w) &&
                    recipient.Field(wrappedKey, static_cast<size_t>(w)) && recipient.I32(v) &&
                    recipient.Field(wrappedIv, static_cast<size_t>(v)) && recipient.Finish());
        ASSERT_NO_FATAL_FAILURE(WriteOldRecords(e, f, "old.bin", content, key, iv, true));

        ASSERT_EQ(e.Evp_SignInit(head.digestId2), 1);
        e.Evp_SignUpdate(reinterpret_cast<const unsigned char*>(content.data()), static_cast<unsigned>(content.size()));
        unsigned char signature[1024];
        unsigned int length = 0;
        ASSERT_EQ(e.Evp_SignFinal(signature, &length, "alice", Password("alice").c_str()), 1);
        ProtectedWriter trailer(e.Records(), &f);
        ASSERT_TRUE(trailer.Plain(&length, 4) && trailer.Plain(signature, length) && trailer.Finish());
    }
};

// Files of a signed package stay under temporary names until the signature's verdict; after a
// failed one they take their names (over an existing file too) only when the user says so,
// and the call fails either way.
TEST_F(EnvelopePackage, FilesWaitForTheVerdictAndAreKeptAfterAFailedOneOnlyOnRequest) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/note.txt", "a note of some length");
    ASSERT_EQ(Pack({"src/note.txt"}), 1);
    // The byte in front of the signature trailer is the file's last ciphertext byte.
    DamagedFile package(SecuredKind::kEnvelope, dir / "e.vrk");
    const std::string changed = package.FlipByte(package.Record("trailer").begin - 1);
    fs::create_directories(dir / "out");
    const std::string keep = "数字签名验证未通过，解密出的文件可能已被篡改。是否仍然保留这些文件?";
    std::vector<std::string> seen;
    host.OnMessage([&](const std::string& text) {
        if (text == keep)
            seen.push_back(ReadFile(dir / "out/note.txt") + "|" + std::to_string(TempFilesBelow(dir / "out").size()));
    });
    for (const char* answer : {"no", "yes"}) {
        host.Clear();
        WriteFile(dir / "out/note.txt", "bob's own note");
        WriteFile(dir / "e.vrk", changed);
        host.AddAnswer("replace", "yes");
        host.AddAnswer("yes-no", "yes");  // go on after the content CRC
        host.AddAnswer("yes-no", answer);
        EXPECT_EQ(Restore("bob"), 0);
        EXPECT_EQ(host.MessageTexts(),
                  (std::vector<std::string>{"文件内容CRC校验错, 是否继续? ", "数字签名验证不正确。", keep}));
        EXPECT_EQ(ReadFile(dir / "out/note.txt") != "bob's own note", std::string(answer) == "yes") << answer;
        EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"bob's own note|1", "bob's own note|1"})) << "nothing committed before";
}

// A package that says it is the reader's own but was signed by somebody else never writes
// into the folder its head names: its files go beside the package, as anybody else's do.
TEST_F(EnvelopePackage, PackageClaimingToBeTheReadersOwnGoesNowhereItNamesUnproven) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "inbox");
    WriteFile(dir / "src/authorized_keys", "carol's key");
    ASSERT_EQ(Pack({"src/authorized_keys"}, {"alice"}, "inbox/e.vrk", "carol"), 1);
    fs::remove(dir / "src/authorized_keys");
    DamagedFile package(SecuredKind::kEnvelope, dir / "inbox/e.vrk");
    WriteFile(dir / "inbox/e.vrk", package.SetField(package.Record("sender"), 4, 5, "alice"));
    LogOn("alice");
    // Carol's signature does not make her alice; even files kept after that failure stay
    // beside the package.
    host.AddAnswer("yes-no", "yes");
    CKorvane e;
    EXPECT_EQ(e.EnvelopDecryptFiles((dir / "inbox/e.vrk").c_str(), nullptr, 1, 0), 0);
    EXPECT_TRUE(fs::is_empty(dir / "src")) << "nothing in the folder the package named";
    EXPECT_EQ(ReadFile(dir / "inbox/authorized_keys"), "carol's key");
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
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
}

// The head's base folder ends with a separator, as the one-file-per-package writers store it.
TEST_F(EnvelopePackage, HeadStoresTheBaseFolderEndingWithASeparator) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/a.txt", "a");
    for (uint8_t kind : {kKindEnvelope, kKindShared}) {
        ASSERT_EQ(Pack({"src/a.txt"}, {"bob"}, "e.vrk", "alice", kind), 1);
        CKorvane e;
        CFile package(dir / "e.vrk", CFile::modeRead);
        EncryptFlag head;
        ASSERT_EQ(e.ReadEncryptedFileHead(&package, &head, nullptr), 1);
        EXPECT_EQ(std::string(head.baseFolder), dir / "src/") << int{kind};
        package.Close();
        fs::remove(dir / "e.vrk");
    }
}

// A pack that fails half-way leaves nothing behind and never touches a file already at the
// package's path: it was written under a temporary name (deliberately, docs/differences.md).
TEST_F(EnvelopePackage, FailedPackLeavesTheExistingFileAndNoPackage) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/a.txt", "a");
    WriteFile(dir / "e.vrk", "precious");
    EXPECT_EQ(Pack({"src/a.txt"}, {"nobody"}), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"envelope.NoPublicKey"});
    EXPECT_EQ(ReadFile(dir / "e.vrk"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 2) << "no temporary file";

    // A file whose content would end beyond the end record's 32-bit trailer offset is refused
    // before it is read (it made a package that said it was done and never opened again).
    {
        CFile sparse(dir / "src/a.txt", CFile::modeCreate | CFile::modeWrite);
        sparse.SetLength((uint64_t{1} << 31) - 1);
    }
    host.Clear();
    EXPECT_EQ(Pack({"src/a.txt"}, {"bob"}), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"package.TooLarge"});
    EXPECT_EQ(ReadFile(dir / "e.vrk"), "precious");
}

// A tree of many small files and a few beyond one block: the digest of each file runs on while
// the next is read and written, and the signature's verdict still covers every byte.
TEST_F(EnvelopePackage, TreeOfManySmallFilesVerifiesAndRestoresByteForByte) {
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 300; ++i) {
        const size_t size = i % 100 == 7 ? kStreamBlockSize + i : (i * 997) % 40000;
        contents.push_back(RandomBytes(size, i + 1));
        const std::string folder = "/tree/" + std::to_string(i / 50);
        fs::create_directories(dir / ("src" + folder));
        WriteFile(dir / ("src" + folder + "/" + std::to_string(i)), contents.back());
    }
    ASSERT_EQ(Pack({"src/tree"}), 1);
    ASSERT_EQ(Restore("bob"), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_TRUE(host.Messages().empty());
    for (unsigned i = 0; i < 300; ++i)
        ASSERT_EQ(ReadFile(dir / ("out/tree/" + std::to_string(i / 50) + "/" + std::to_string(i))), contents[i]) << i;
}

TEST_F(EnvelopePackage, VersionTenPackageRestoresAndItsSignatureVerifies) {
    const std::string content = RandomBytes(kStreamBlockSize + 500, 21);
    ASSERT_NO_FATAL_FAILURE(WriteOldPackage("old.vrk", content));
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
