// The texts every logon library makes and parses alike, the store classes without a library,
// and the password verifier beneath the store.

#include <gtest/gtest.h>

#include <string>

#include "TestLogon.h"
#include "logon/ILogon.h"
#include "logon/LogonKeys.h"

namespace {

TEST(LogonStoreClassesTest, StoreClassesFailWithoutInstalledLibrary) {
    ScopedLogonLibrary none(nullptr);
    CPubCertFile certs;
    CSignPubCert sign;
    CInsureDecryptMen men;
    EXPECT_EQ(certs.OpenFile(), 0);
    EXPECT_EQ(sign.OpenFile(), 0);
    EXPECT_EQ(men.OpenFile(), 0);
    Lumo_PubCert rec;
    EXPECT_EQ(certs.ReadFirstRec(rec), 0);
}

TEST(LogonTextsTest, ListItemsKeyTextsAndPathsSplitBack) {
    EXPECT_EQ(CountLogonListItems(" alice ; bob;;carol; "), 3);
    EXPECT_EQ(CountLogonListItems(""), 0);
    std::string item;
    ASSERT_TRUE(LogonListItem(" alice ; bob;;carol; ", 2, item));
    EXPECT_EQ(item, "bob");
    ASSERT_TRUE(LogonListItem(" alice ; bob;;carol; ", 3, item));
    EXPECT_EQ(item, "carol");
    EXPECT_FALSE(LogonListItem("alice;bob", 3, item));
    EXPECT_FALSE(LogonListItem("alice;bob", 0, item));

    std::string name, email;
    SplitKeyText(KeyTextOf("Ann Lee", "ann@x.org"), name, email);
    EXPECT_EQ(name, "Ann Lee");
    EXPECT_EQ(email, "ann@x.org");
    SplitKeyText(KeyTextOf("Ann", ""), name, email);
    EXPECT_EQ(name, "Ann");
    EXPECT_EQ(email, "");
    std::string id;
    EXPECT_TRUE(UserIdOfSharedKeyName(SharedKeyNameOf("ann"), id));
    EXPECT_EQ(id, "ann");
    EXPECT_FALSE(UserIdOfSharedKeyName("ann", id));
    EXPECT_EQ(LogonSplitFolder("/a/b/c.tar.gz"), "/a/b/");
    EXPECT_EQ(LogonSplitName("/a/b/c.tar.gz"), "c.tar.gz");
    EXPECT_EQ(LogonSplitExt("/a/b.d/c"), "");
    EXPECT_EQ(LogonSplitExt("/a/b/c.tar.gz"), "gz");
}

TEST(LogonKeysTest, PasswordVerifierSurvivesItsTextForm) {
    logon::PasswordVerifier v = logon::MakePasswordVerifier("pw", 2, kTestCost);
    logon::PasswordVerifier back;
    ASSERT_TRUE(logon::DecodeVerifier(logon::EncodeVerifier(v), back));
    EXPECT_TRUE(logon::CheckPasswordVerifier(back, "pw", 2));
    EXPECT_FALSE(logon::CheckPasswordVerifier(back, "pW", 2));
    EXPECT_FALSE(logon::VerifierNeedsNewCost(back));
    EXPECT_FALSE(logon::DecodeVerifier("pbkdf2-sha256$0$00$00", back));
    EXPECT_FALSE(logon::DecodeVerifier("pbkdf2-sha256$10$zz$00", back));
    EXPECT_FALSE(logon::DecodeVerifier("scrypt$15$8$1$00$00", back)) << "N is a power of two";

    // Known answers: scrypt (RFC 7914) and the earlier PBKDF2-HMAC-SHA256 form, which still
    // checks but is due for the new cost, as is a short salt.
    const std::string salt = "000102030405060708090a0b0c0d0e0f";
    ASSERT_TRUE(logon::DecodeVerifier(
        "scrypt$16$8$1$" + salt + "$88bbce7092fed7bd363a9c0bdccffbecfbfeb426417da46a74832bcec4177897", back));
    EXPECT_TRUE(logon::CheckPasswordVerifier(back, "pw", 2));
    EXPECT_FALSE(logon::VerifierNeedsNewCost(back));
    ASSERT_TRUE(logon::DecodeVerifier(
        "pbkdf2-sha256$1000$0001020304050607$cf09114c20ea4a290bec2eca1285fdf2253c39ec2d02ff4afe06d7c35e33b9a8", back));
    EXPECT_TRUE(logon::CheckPasswordVerifier(back, "pw", 2));
    EXPECT_TRUE(logon::VerifierNeedsNewCost(back));
    ASSERT_TRUE(logon::DecodeVerifier("scrypt$16$8$1$0001$" + std::string(64, '0'), back));
    EXPECT_TRUE(logon::VerifierNeedsNewCost(back)) << "a 2-byte salt";
}

}  // namespace
