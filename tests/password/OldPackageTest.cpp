// Packages of format version "10": the old key check, and file records with one time.

#include "OldLayout.h"
#include "PasswordPackageFixture.h"

namespace {

// Writes a version-"10" package holding one file `name` with `content`, as older engines did.
void WriteOldPackage(const std::string& path, const std::string& name, const std::string& content,
                     const std::string& password) {
    CKorvane e;
    CFile f(path, CFile::modeCreate | CFile::modeReadWrite);
    EncryptFlag head;
    ASSERT_NO_FATAL_FAILURE(WriteOldHead(e, f, head, kKindPassword));
    unsigned char key[16], check[16];
    ASSERT_EQ(e.GenerateKeyByHash(password.data(), static_cast<int>(password.size()), reinterpret_cast<char*>(key), 16),
              1);
    ASSERT_EQ(e.SerialEncryptKey(reinterpret_cast<char*>(key), 16, reinterpret_cast<char*>(check)), 1);
    const unsigned char iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ProtectedWriter block(e.Records(), &f);
    ASSERT_TRUE(block.I32(16) && block.Field(check, 16) && block.I32(8) && block.Field(iv, 8) && block.Finish());
    ASSERT_NO_FATAL_FAILURE(WriteOldRecords(e, f, name, content, key, iv, false));
}

}  // namespace

TEST_F(PasswordPackageTest, VersionTenPackageRestoresWithItsOldKeyCheck) {
    std::string content = RandomBytes(1000, 11);
    ASSERT_NO_FATAL_FAILURE(WriteOldPackage(dir / "old.pkg", "old.bin", content, "secret1"));
    EXPECT_EQ(RestoreWith(engine, "old.pkg", "wrong12"), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"password.WrongPassword"});
    CKorvane again;
    ASSERT_EQ(RestoreWith(again, "old.pkg", "secret1"), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_EQ(ReadFile(dir / "out/old.bin"), content);
}

// A version-"10" package whose key cannot be made of the password (its check value is longer
// than any key) is refused; in silent mode without a message, and the batch stays successful:
// only a wrong password or a failed check marks it.
TEST_F(PasswordPackageTest, VersionTenPackageWithoutAKeyIsRefusedQuietlyInSilentMode) {
    CKorvane e;
    {
        CFile f(dir / "nokey.pkg", CFile::modeCreate | CFile::modeReadWrite);
        EncryptFlag head;
        ASSERT_NO_FATAL_FAILURE(WriteOldHead(e, f, head, kKindPassword));
        const unsigned char check[100] = {}, iv[8] = {};
        ProtectedWriter block(e.Records(), &f);
        ASSERT_TRUE(block.I32(100) && block.Field(check, 100) && block.I32(8) && block.Field(iv, 8) && block.Finish());
        ASSERT_EQ(e.WriteEndofHead(&f, 0), 1);
    }
    engine.m_batchSuccess = 1;
    EXPECT_EQ(RestoreWith(engine, "nokey.pkg", "secret1", 1), 0);
    EXPECT_TRUE(host.Messages().empty()) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_EQ(engine.m_batchSuccess, 1);
    CKorvane shown;
    EXPECT_EQ(RestoreWith(shown, "nokey.pkg", "secret1"), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"formats.StructureError"});
}
