// The in-memory logon library stands in for the store in the engine's tests; these check the
// behaviour those tests lean on. What both implementations must answer alike is checked
// against the store in LogonStoreTest and KeyTextTest.

#include "logon/ILogon.h"
#include "logon/LogonKeys.h"
#include "logon/MemoryLogon.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFastIterations = 1000;

class MemoryLogonTest : public ::testing::Test {
protected:
    MemoryLogon logon_{kFastIterations};
    ScopedLogonLibrary installed_{&logon_};

    int Unwrap(const std::vector<unsigned char>& wrapped, unsigned char* out,
               const std::string& user, const std::string& recipientText,
               const std::string& password, int kind = 2) {
        return logon_.UnwrapSessionKey(static_cast<int>(wrapped.size()), wrapped.data(), out,
                                       user, recipientText, kind, password.data(),
                                       static_cast<int>(password.size()));
    }
};

TEST_F(MemoryLogonTest, WrappedSessionKeyOpensOnlyForItsUserWithPassword) {
    int32_t alice = logon_.AddUser("alice", "Alice", "alice@example.org", "a-secret");
    int32_t bob = logon_.AddUser("bob", "Bob", "bob@example.org", "b-secret");
    ASSERT_GT(alice, 0);
    ASSERT_GT(bob, 0);

    unsigned char keyThenIv[24];
    for (int i = 0; i < 24; ++i) keyThenIv[i] = static_cast<unsigned char>(i * 7 + 1);
    unsigned char buffer[kLogonWrapOutCap];
    int w = logon_.WrapSessionKey(24, keyThenIv, buffer, alice);
    ASSERT_GT(w, 0);
    std::vector<unsigned char> wrapped(buffer, buffer + w);

    LogonKeyRecord key;
    LogonUserRecord user;
    ASSERT_EQ(logon_.GetUserRecords(key, user, "alice"), 1);

    unsigned char out[kLogonWrapOutCap];
    ASSERT_EQ(Unwrap(wrapped, out, "alice", key.keyText, "a-secret"), 24);
    EXPECT_EQ(std::memcmp(out, keyThenIv, 24), 0);
    // The certificate name and the mapped key text name the same recipient.
    EXPECT_EQ(Unwrap(wrapped, out, "ALICE", user.certName, "a-secret"), 24);

    EXPECT_LE(Unwrap(wrapped, out, "alice", key.keyText, "a-secreT"), 0);
    EXPECT_LE(Unwrap(wrapped, out, "alice", "bob", "a-secret"), 0);
    EXPECT_LE(Unwrap(wrapped, out, "bob", "bob", "b-secret"), 0);
    EXPECT_LE(Unwrap(wrapped, out, "carol", "carol", "x"), 0);
    EXPECT_LE(logon_.WrapSessionKey(24, keyThenIv, buffer, 99), 0);
    EXPECT_LE(logon_.WrapSessionKey(0, keyThenIv, buffer, alice), 0);
}

TEST_F(MemoryLogonTest, SharedPackageRecipientMatchesOnlyItsOwnIndex) {
    logon_.AddUser("alice", "Alice", "alice@example.org", "a-secret");
    logon_.AddUser("bob", "Bob", "bob@example.org", "b-secret");
    Lumo_PrivateKey index;
    std::string userName;
    EXPECT_EQ(logon_.GetPrivateKeyIndex(index, userName), 0);  // nobody logged on

    ASSERT_EQ(logon_.LogOn("bob", "b-secret"), 1);
    ASSERT_EQ(logon_.GetPrivateKeyIndex(index, userName), 1);
    EXPECT_EQ(userName, "bob");

    // Recipient key texts as a writer stores them, with the reader's case and blanks.
    EXPECT_TRUE(LogonEqualNoCase(logon_.MapRecipientKeyText(" bob<BOB@example.org>", 1),
                                 index.name));
    EXPECT_FALSE(LogonEqualNoCase(logon_.MapRecipientKeyText("Alice<alice@example.org>", 1),
                                  index.name));
    EXPECT_EQ(logon_.MapRecipientKeyText(" Nobody<n@x> ", 1), "Nobody<n@x>");

    // The sender texts resolve back to the sender's certificate.
    for (std::string id : {SharedKeyNameOf("alice"), CertificateNameOf("alice"),
                           logon_.GetSenderIdentity("alice", 8)}) {
        EVP_PKEY* key = nullptr;
        X509* cert = nullptr;
        ASSERT_EQ(logon_.GetSignerCert(id, 8, &key, &cert), 1) << id;
        EXPECT_EQ(logon::CertEmail(cert), "alice@example.org");
        EVP_PKEY_free(key);
        X509_free(cert);
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    EXPECT_EQ(logon_.GetSignerCert("share:carol", 8, &key, &cert), 0);
}

TEST_F(MemoryLogonTest, StoreClassesFailWithoutInstalledLibrary) {
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

TEST_F(MemoryLogonTest, CertificateFilesReadBackNameAndEmail) {
    logon_.AddUser("fay", "Fay", "fay@example.org", "pf");
    std::string path;
    ASSERT_EQ(logon_.GetCertFilePath("FAY", path), 1);
    EXPECT_EQ(logon_.FileExists(path), 1);
    LogonCertFileRecord file;
    ASSERT_EQ(logon_.ReadCertFile(path, file), 1);
    EXPECT_EQ(file.name, "Fay");
    EXPECT_EQ(file.email, "fay@example.org");
    EXPECT_EQ(logon_.GetCertFilePath("nobody", path), 0);

    std::string folder = ::testing::TempDir() + "memlogon-certs";
    logon_.SetCertFolder(folder);
    ASSERT_EQ(logon_.GetCertFilePath("fay", path), 1);
    ASSERT_EQ(logon_.ReadCertFile(path, file), 1);  // a real PEM file this time
    EXPECT_EQ(file.email, "fay@example.org");
    EXPECT_EQ(logon_.RemoveFile(path), 1);
}

TEST(LogonTextsTest, ListItemsAreSemicolonSeparated) {
    EXPECT_EQ(CountLogonListItems(" alice ; bob;;carol; "), 3);
    EXPECT_EQ(CountLogonListItems(""), 0);
    std::string item;
    ASSERT_TRUE(LogonListItem(" alice ; bob;;carol; ", 2, item));
    EXPECT_EQ(item, "bob");
    ASSERT_TRUE(LogonListItem(" alice ; bob;;carol; ", 3, item));
    EXPECT_EQ(item, "carol");
    EXPECT_FALSE(LogonListItem("alice;bob", 3, item));
    EXPECT_FALSE(LogonListItem("alice;bob", 0, item));
}

TEST(LogonTextsTest, KeyTextsAndPathsSplitBack) {
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
    logon::PasswordVerifier v = logon::MakePasswordVerifier("pw", 2, kFastIterations);
    logon::PasswordVerifier back;
    ASSERT_TRUE(logon::DecodeVerifier(logon::EncodeVerifier(v), back));
    EXPECT_TRUE(logon::CheckPasswordVerifier(back, "pw", 2));
    EXPECT_FALSE(logon::CheckPasswordVerifier(back, "pW", 2));
    EXPECT_FALSE(logon::DecodeVerifier("pbkdf2-sha256$0$00$00", back));
    EXPECT_FALSE(logon::DecodeVerifier("pbkdf2-sha256$10$zz$00", back));
}

TEST(LogonKeysTest, EncryptedPrivateKeyOpensOnlyWithItsPassword) {
    logon::PkeyPtr key = logon::GenerateRsaKey();
    std::string pem = logon::ExportPrivateKeyPem(key.get(), "pass\0word", 9, kFastIterations);
    ASSERT_NE(pem.find("ENCRYPTED PRIVATE KEY"), std::string::npos);
    EXPECT_FALSE(logon::ImportPrivateKeyPem(pem, "pass", 4));
    logon::PkeyPtr back = logon::ImportPrivateKeyPem(pem, "pass\0word", 9);
    ASSERT_TRUE(back);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), back.get()), 1);
}

}  // namespace
