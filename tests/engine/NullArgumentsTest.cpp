// No call into the engine throws or crashes on null or empty arguments: each answers 0 (or
// does nothing) instead.

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"

TEST_F(HostTest, EveryEntryPointRefusesNullAndEmptyArguments) {
    CKorvane e;
    unsigned long got = 0;
    char text[300] = {};
    EXPECT_NO_THROW({
        e.GetEncryptAlgorithmID(nullptr, nullptr, nullptr, nullptr);
        e.GetEncryptVer(nullptr);
        e.SetEncryptAlogID(nullptr);
        e.ChooseIdentifiers(nullptr, nullptr);
        e.CRC_Update(nullptr, 5);
        EXPECT_EQ(e.fReadBuf(nullptr, text, 1, &got, 1), 0);
        EXPECT_EQ(e.fWriteBuf(nullptr, text, 1), 0);
        EXPECT_EQ(e.fSeek(nullptr, 0, CFile::begin), 0);
        EXPECT_EQ(e.fSeekToEnd(nullptr), 0);
        EXPECT_EQ(e.fSeekToBegin(nullptr), 0);
        EXPECT_EQ(e.AddEndofHead(nullptr), 0);
        CFile none;
        EXPECT_EQ(CKorvane::OpenForReading(nullptr, none, 0), 0);
        EXPECT_EQ(CKorvane::OpenForReading("", none, 0), 0);
        EXPECT_EQ(e.Evp_EncryptInit(nullptr, nullptr, 46), 0);
        EXPECT_EQ(e.Evp_DecryptInit(nullptr, nullptr, 46), 0);
        EXPECT_EQ(e.Evp_EncryptUpdate(nullptr, nullptr, nullptr, 8), 0);
        EXPECT_EQ(e.Evp_DecryptUpdate(nullptr, nullptr, nullptr, 8), 0);
        EXPECT_EQ(e.Evp_EncryptFinalEx(nullptr, nullptr), 0);
        EXPECT_EQ(e.Evp_DecryptFinal(nullptr, nullptr), 0);
        e.Evp_EncryptFinal(nullptr, nullptr);
        e.Evp_SignUpdate(nullptr, 4);
        e.Evp_VerifyUpdate(nullptr, 4);
        EXPECT_EQ(e.Evp_SignFinal(nullptr, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(e.Evp_VerifyInit(8, nullptr, 1), 0);
        EXPECT_LE(e.Evp_VerifyFinal(nullptr, 0, nullptr, 1, 0), 0);
        EXPECT_EQ(e.Rsa_public_encrypt(4, nullptr, nullptr, nullptr), -1);
        EXPECT_EQ(e.Rsa_private_decrypt(4, nullptr, nullptr, nullptr), -1);
        e.Generate_EncryptKey(46, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(e.GenerateKeyByHash(nullptr, 3, text, 16), 0);
        EXPECT_EQ(e.GenerateKeyByHash("abc", 3, nullptr, 16), 0);
        EXPECT_EQ(e.SerialEncrypt(nullptr, 4, nullptr), 0);
        EXPECT_EQ(e.SerialDecrypt(nullptr, 4, nullptr), 0);
        EXPECT_EQ(e.SerialEncryptKey(nullptr, 4, nullptr), 0);
        e.InitEncryptFlag(nullptr, 1);
        EXPECT_EQ(e.SealEncryptFlag(nullptr), 0);
        EXPECT_EQ(e.UnsealEncryptFlag(nullptr, nullptr), 0);
        EXPECT_EQ(e.WriteEncryptedFileHead(nullptr, nullptr), 0);
        EXPECT_EQ(e.ReadEncryptedFileHead(nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(e.GetEncryptedFileHead(nullptr, nullptr, 0), 0);
        EXPECT_EQ(e.GetEncryptedFileHead("", nullptr, 0), 0);
        EXPECT_EQ(e.WriteSealedField(nullptr, nullptr, 4), 0);
        EXPECT_EQ(e.ReadSealedField(nullptr, nullptr, 4), 0);
        EXPECT_EQ(e.WriteEndofHead(nullptr, 0), 0);
        EXPECT_EQ(e.ReadEndofHead(nullptr, nullptr, nullptr), 0);
        Sysmetry_Decrypt_Info info{};
        Encrypt_Data data{};
        EXPECT_EQ(e.Symmtry_SearchFile(nullptr, nullptr, info, nullptr, nullptr), 0);
        EXPECT_EQ(e.Symmtry_SearchSingleFile(nullptr, nullptr, info, nullptr, nullptr), 0);
        EXPECT_EQ(e.SymmtryEncryptFiles(nullptr, 0, data), 0);
        EXPECT_EQ(e.SymmtryDecryptFiles(nullptr, nullptr, 0, 1), 0);
        EXPECT_EQ(e.SymmtryDecryptFiles("", nullptr, 0, 1), 0);
        EXPECT_EQ(e.GetFileStatus(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
        EXPECT_EQ(e.SetFileStatus(nullptr, nullptr, nullptr, 0), 0);
        EXPECT_EQ(e.SetFileArchiveStatus(nullptr, 0), 0);
        EXPECT_EQ(e.GetParentDirectory(nullptr, nullptr), 0);
        EXPECT_EQ(e.GetParentDirectory("", text), 0);
        EXPECT_EQ(e.DirEqualNoCase(nullptr, nullptr), 0);
        e.AddDirSeg(nullptr);
        e.SeperateUserInfo(nullptr, nullptr, nullptr);
        EXPECT_EQ(e.GetPasswd(nullptr), 0);
    });
}
