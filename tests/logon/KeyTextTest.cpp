// Texts that name a party (user IDs, key texts, certificate names) keep naming that party in
// the logon store: no foreign certificate or new user can take a text already in use.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "TestLogon.h"
#include "logon/LogonDatabase.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

namespace {

struct ForeignCert {
    logon::PkeyPtr key;
    logon::X509Ptr cert;
    ForeignCert(const std::string& name, const std::string& email)
        : key(TestRsaKey("foreign " + name)), cert(logon::MakeSelfSignedCert(key.get(), name, email)) {}
    std::string WriteTo(const std::string& path) const {
        WriteFile(path, logon::CertToPem(cert.get()));
        return path;
    }
};

// The DER of the certificate a text resolves to as a signer, empty when none.
std::vector<unsigned char> SignerDer(ILogon& logon, const std::string& text) {
    EVP_PKEY* pub = nullptr;
    X509* cert = nullptr;
    if (logon.GetSignerCert(text, 8, &pub, &cert) != 1) return {};
    std::vector<unsigned char> der = logon::CertToDer(cert);
    EVP_PKEY_free(pub);
    X509_free(cert);
    return der;
}

class KeyTextStoreTest : public ::testing::Test {
protected:
    TempDir dir_;
    TestLogon store_;
};

TEST_F(KeyTextStoreTest, ForeignCertificateCannotTakeAUsersKeyText) {
    ASSERT_GT(store_.AddUser("u1", "Alice", "", "pa"), 0) << store_.LastError();
    Lumo_PubCert own;
    ASSERT_EQ(store_.GetCertRecordByNumber(1, own), 1);
    ForeignCert mallory("Mallory", "");
    std::string file = mallory.WriteTo(dir_ / "m.pem");
    std::string installed;
    EXPECT_FALSE(store_.ImportCert(file, "alice", installed));
    EXPECT_NE(store_.LastError().find("u1"), std::string::npos) << store_.LastError();
    EXPECT_FALSE(store_.ImportCert(file, "U1", installed));
    ASSERT_TRUE(store_.ImportCert(file, "mallory", installed)) << store_.LastError();

    // A store that took such a certificate before it was refused: the user still wins.
    {
        logon::Database db;
        ASSERT_TRUE(db.Open(store_.DatabasePath()));
        logon::Statement put(db,
                             "INSERT INTO certs (name, user_number, subject, email, der) VALUES ('Alice', 0, "
                             "'Mallory', '', ?1)");
        ASSERT_TRUE(put.Bind(1, logon::CertToDer(mallory.cert.get())).Run());
    }
    EXPECT_EQ(store_.MapRecipientKeyText("Alice", 1), "u1");
    EXPECT_EQ(SignerDer(store_, "Alice"), own.der);
    EXPECT_EQ(store_.CheckRecipientAccess("u1", "Alice", 2, "pa", 2), 1);
}

TEST_F(KeyTextStoreTest, NewUserCannotTakeAKeyTextInUse) {
    ASSERT_GT(store_.AddUser("u1", "Alice", "", "pa"), 0) << store_.LastError();
    std::string installed;
    ASSERT_TRUE(store_.ImportCert(ForeignCert("Dave", "").WriteTo(dir_ / "d.pem"), "dave", installed));
    ASSERT_TRUE(store_.ImportCert(ForeignCert("Eve", "eve@example.org").WriteTo(dir_ / "e.pem"), "evecert", installed));

    struct Case {
        const char *id, *name, *email;
    };
    for (const Case& c : {Case{"u2", "ALICE", ""},               // another user's key text
                          Case{"u3", "Dave", ""},                // an installed certificate's name
                          Case{"u4", "Eve", "eve@example.org"},  // an installed certificate's key text
                          Case{"u5", "u1", ""},                  // another user's ID
                          Case{"alice", "Zed", ""}}) {           // the new ID is a user's key text
        EXPECT_EQ(store_.AddUser(c.id, c.name, c.email, "px"), 0) << c.id;
        EXPECT_FALSE(store_.LastError().empty()) << c.id;
    }
    std::vector<LogonUserInfo> users;
    ASSERT_TRUE(store_.ListUsers(users));
    EXPECT_EQ(users.size(), 1u);
    EXPECT_GT(store_.AddUser("u6", "Alice", "alice@example.org", "px"), 0) << store_.LastError();
}

// The upsert itself never replaces a user's certificate, even when the user it belongs to
// is not found (a registration by another process racing the import, simulated here by a
// user's certificate row without its user).
TEST_F(KeyTextStoreTest, ImportNeverReplacesAUsersCertificate) {
    ForeignCert user("Ghost", "");
    {
        logon::Database db;
        ASSERT_TRUE(db.Open(store_.DatabasePath()));
        logon::Statement put(db,
                             "INSERT INTO certs (name, user_number, subject, email, der) VALUES ('ghost', 77, "
                             "'Ghost', '', ?1)");
        ASSERT_TRUE(put.Bind(1, logon::CertToDer(user.cert.get())).Run());
    }
    std::string installed;
    EXPECT_FALSE(store_.ImportCert(ForeignCert("Ghost", "").WriteTo(dir_ / "g.pem"), "ghost", installed));
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store_.ListCerts(certs));
    ASSERT_EQ(certs.size(), 1u);
    EXPECT_EQ(certs[0].record.der, logon::CertToDer(user.cert.get()));
}

TEST_F(KeyTextStoreTest, DeviceSignsOnlyForTheLoggedOnUser) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pg", kLogonKeyDevice), 0);
    ASSERT_GT(store_.AddUser("hal", "Hal", "", "ph", kLogonKeyDevice), 0);
    unsigned char digest[kLogonDigestLength] = {1, 2, 3};
    std::vector<unsigned char> sig(kLogonSignatureCap);
    int len = 0;
    EXPECT_EQ(store_.DeviceSign("gil", digest, 20, sig.data(), &len), 0) << "nobody is logged on";
    ASSERT_TRUE(store_.LogOn("hal", "ph"));
    EXPECT_EQ(store_.DeviceSign("gil", digest, 20, sig.data(), &len), 0) << "another user is logged on";
    EXPECT_EQ(store_.DeviceSign(" HAL ", digest, 20, sig.data(), &len), 1);
}

}  // namespace
