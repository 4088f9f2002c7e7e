#include <gtest/gtest.h>

#include "TestLogon.h"
#include "engine/Korvane.h"

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
