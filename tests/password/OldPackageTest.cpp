// Packages of format version "10": the old key check, and file records with one time.

#include <cstring>

#include "PasswordPackageFixture.h"
#include "engine/Crc16.h"
#include "formats/EncryptFlag.h"
#include "formats/ProtectedFields.h"

namespace {

// Writes a version-"10" package holding one file `name` with `content`, as older engines did.
void WriteOldPackage(CKorvane& e, const std::string& path, const std::string& base, const std::string& name,
                     const std::string& content, const std::string& password) {
    CFile f(path, CFile::modeCreate | CFile::modeReadWrite);
    EncryptFlag head;
    e.InitEncryptFlag(&head, kKindPassword);
    std::memcpy(head.version, "10", 2);
    head.cipherId = 46;
    std::snprintf(head.baseFolder, sizeof head.baseFolder, "%s", base.c_str());
    head.itemCount = 1;
    ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);

    char key[16], check[16];
    ASSERT_EQ(e.GenerateKeyByHash(password.data(), static_cast<int>(password.size()), key, 16), 1);
    ASSERT_EQ(e.SerialEncryptKey(key, 16, check), 1);
    const unsigned char iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ProtectedWriter block(e, &f);
    ASSERT_TRUE(block.I32(16) && block.Field(check, 16) && block.I32(8) && block.Field(iv, 8) && block.Finish());

    ProtectedWriter directory(e, &f);
    ASSERT_TRUE(directory.I32(10) && directory.I32(0) && directory.I32(0) && directory.Finish());
    const int32_t fileRecord = 4 + 4 + 4 + static_cast<int32_t>(name.size()) + 4 + 14 + 4 + 1 + 2 + 2;
    const int32_t offset = static_cast<int32_t>(f.GetPosition()) + fileRecord + 10;
    std::string cipher(content.size(), '\0');
    int produced = 0;
    ASSERT_EQ(e.Evp_EncryptInit(reinterpret_cast<unsigned char*>(key), iv, 46), 1);
    e.Evp_EncryptUpdate(reinterpret_cast<unsigned char*>(cipher.data()), &produced,
                        reinterpret_cast<const unsigned char*>(content.data()), static_cast<int>(content.size()));
    unsigned char tail[16];
    e.Evp_EncryptFinalEx(tail, &produced);
    uint16_t crc =
        Crc16Final(Crc16Update(0xFFFF, reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()));
    ProtectedWriter file(e, &f);
    ASSERT_TRUE(file.I32(9) && file.I32(offset) && file.I32(static_cast<int32_t>(name.size())) &&
                file.Field(name.data(), name.size()) && file.I32(static_cast<int32_t>(cipher.size())) &&
                file.Field("20030105090703", 14) && file.I32(static_cast<int32_t>(content.size())) && file.U8(0x20) &&
                file.U16(crc) && file.Finish());
    ASSERT_EQ(e.WriteEndofHead(&f, 0), 1);
    f.Write(cipher.data(), static_cast<unsigned>(cipher.size()));
}

}  // namespace

TEST_F(PasswordPackageTest, VersionTenPackageRestoresWithItsOldKeyCheck) {
    CKorvane writer;
    std::string content = RandomBytes(1000, 11);
    WriteOldPackage(writer, dir / "old.pkg", dir.Path(), "old.bin", content, "secret1");
    EXPECT_EQ(RestoreWith(engine, "old.pkg", "wrong12"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"对不起，密码错!"});
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
        e.InitEncryptFlag(&head, kKindPassword);
        std::memcpy(head.version, "10", 2);
        head.cipherId = 46;
        ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);
        const unsigned char check[100] = {}, iv[8] = {};
        ProtectedWriter block(e, &f);
        ASSERT_TRUE(block.I32(100) && block.Field(check, 100) && block.I32(8) && block.Field(iv, 8) && block.Finish());
        ASSERT_EQ(e.WriteEndofHead(&f, 0), 1);
    }
    engine.m_batchSuccess = 1;
    EXPECT_EQ(RestoreWith(engine, "nokey.pkg", "secret1", 1), 0);
    EXPECT_TRUE(host.Messages().empty()) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_EQ(engine.m_batchSuccess, 1);
    CKorvane shown;
    EXPECT_EQ(RestoreWith(shown, "nokey.pkg", "secret1"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"文件结构错."});
}
