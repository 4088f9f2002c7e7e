// Inputs the fuzz targets (fuzz/) found a reader mishandling, made again here with the engine's
// own writers so that each passes the CRCs a normal build checks.

#include <cstring>
#include <filesystem>
#include <memory>

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "formats/EncryptFlag.h"

namespace {

class ReaderFindingsTest : public LogonHostTest {};

// The exported calls write a password package with no IV at all (IV length 0), as a caller may
// ask; its content runs under a zero IV. Restoring it must not read from the empty IV.
TEST_F(ReaderFindingsTest, PasswordPackageWithoutIvRestoresItsFiles) {
    std::filesystem::create_directories(dir / "src");
    WriteFile(dir / "src/a.txt", "content of a");
    {
        CKorvane engine;
        CFile package;
        ASSERT_TRUE(package.Open(dir / "p.pkg", CFile::modeCreate | CFile::modeReadWrite));
        EncryptFlag head;
        engine.InitEncryptFlag(&head, kKindPassword);
        std::snprintf(head.baseFolder, sizeof head.baseFolder, "%s", (dir / "src").c_str());
        ASSERT_EQ(engine.fWriteBuf(&package, &head, sizeof head), 1);
        auto info = std::make_unique<Sysmetry_Decrypt_Info>();
        auto data = std::make_unique<Encrypt_Data>();
        std::memset(info.get(), 0, sizeof *info);
        std::memset(data.get(), 0, sizeof *data);
        info->keyLength = data->keyLength = 16;
        ASSERT_EQ(engine.GenerateKeyByHash("secret1", 7, reinterpret_cast<char*>(info->key), info->keyLength), 1);
        std::memcpy(data->key, info->key, 16);
        const std::string list = (dir / "src/a.txt") + '\0' + '\0';
        int recordStart = 0, itemCount = 0;
        ASSERT_EQ(engine.Symmtry_SearchFile(list.c_str(), &package, *info, &recordStart, &itemCount), 1);
        ASSERT_EQ(engine.AddEndofHead(&package), 1);
        data->cipherId = head.cipherId;
        data->digestId = head.digestId;
        data->itemCount = itemCount;
        ASSERT_EQ(engine.SymmtryEncryptFiles(&package, recordStart, *data), 1);
    }
    std::filesystem::create_directories(dir / "out");
    CKorvane engine;
    engine.m_presetOutFolder = dir / "out";
    host.AddAnswer("password", "secret1");
    EXPECT_EQ(engine.SymmtryDecryptFiles((dir / "p.pkg").c_str(), nullptr, 0, 0), 1);
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "content of a");
    EXPECT_TRUE(host.Messages().empty());
}

}  // namespace
