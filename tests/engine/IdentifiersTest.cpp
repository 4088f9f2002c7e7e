#include <gtest/gtest.h>

#include <cstring>

#include "TestLogon.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"

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
    EncryptFlag expected = head;
    std::memcpy(expected.magic, "KP", 2);
    std::memcpy(expected.version, "10", 2);
    expected.cipherId = 46;
    expected.digestId = expected.digestId2 = 42;
    expected.one = 1;
    CKorvane engine;
    engine.SetEncryptAlogID(&head);
    EXPECT_EQ(std::memcmp(&head, &expected, sizeof head), 0);
}

TEST(Identifiers, NewFilesTakeTheDigestFromTheSignIdSetting) {
    TestLogon logon;
    ScopedLogonLibrary installed(&logon);
    CKorvane engine;
    int cipher = 0, digest = 0;
    // The SIgnID setting falls back to MD5 (8) unless it names a supported digest.
    for (auto [setting, expected] : {std::pair{"8", 8}, {"42", 42}, {"abc", 8}, {"43", 8}, {"0", 8}, {"", 8}}) {
        logon.SetOption("Option", "SIgnID", setting);
        engine.ChooseIdentifiers(&cipher, &digest);
        EXPECT_EQ(digest, expected) << setting;
        EXPECT_EQ(cipher, 46);
    }
}
