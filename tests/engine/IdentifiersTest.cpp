#include <gtest/gtest.h>

#include <cstring>

#include "TestLogon.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"

TEST(Identifiers, SignIdSettingFallsBackToMd5UnlessSupported) {
    EXPECT_EQ(ChooseDigest("42"), 42);
    EXPECT_EQ(ChooseDigest("8"), 8);
    EXPECT_EQ(ChooseDigest("0"), 8);
    EXPECT_EQ(ChooseDigest("abc"), 8);
    EXPECT_EQ(ChooseDigest("43"), 8);
    EXPECT_EQ(ChooseDigest(""), 8);
}

TEST(Identifiers, DefaultCipherOutsideTheListFallsBackToIdea) {
    EXPECT_EQ(ChooseCipher(46), 46);
    EXPECT_EQ(ChooseCipher(62), 62);
    EXPECT_EQ(ChooseCipher(122), 46);
    EXPECT_EQ(ChooseCipher(0), 46);
    EXPECT_EQ(GetFerrowEncryptAlgorithm(), 46);
}

TEST(Identifiers, SetEncryptAlogIdTouchesOnlyTheIdentifierFields) {
    EncryptFlag head;
    std::memset(&head, 0xAB, sizeof head);
    EncryptFlag before = head;
    CKorvane engine;
    engine.SetEncryptAlogID(&head);
    EXPECT_EQ(std::string(head.magic, 2), "KP");
    EXPECT_EQ(std::string(head.version, 2), "10");
    EXPECT_EQ(head.cipherId, 46);
    EXPECT_EQ(head.digestId, 42);
    EXPECT_EQ(head.digestId2, 42);
    EXPECT_EQ(head.one, 1);
    EXPECT_EQ(head.kind, before.kind);
    EXPECT_EQ(head.count, before.count);
    EXPECT_EQ(0, std::memcmp(head.baseFolder, before.baseFolder, sizeof head.baseFolder));
    EXPECT_EQ(head.itemCount, before.itemCount);
    EXPECT_EQ(head.listLength, before.listLength);
    EXPECT_EQ(head.headCrc, before.headCrc);
    EXPECT_EQ(0, std::memcmp(head.pad1, before.pad1, 3));
}

TEST(Identifiers, NewFilesTakeTheDigestFromTheSignIdSetting) {
    TestLogon logon;
    ScopedLogonLibrary installed(&logon);
    CKorvane engine;
    int cipher = 0, digest = 0;
    for (auto [setting, expected] : {std::pair{"8", 8}, {"42", 42}, {"abc", 8}, {"43", 8}}) {
        logon.SetOption("Option", "SIgnID", setting);
        engine.ChooseIdentifiers(&cipher, &digest);
        EXPECT_EQ(digest, expected) << setting;
        EXPECT_EQ(cipher, 46);
    }
}
