#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "KillPoints.h"
#include "TestLogon.h"
#include "logon/LogonDatabase.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"
#include "platform/Text.h"

namespace {

// A certificate of someone outside the store, written as PEM to `path`; each file name has its
// own key.
logon::X509Ptr WriteForeignCert(const std::string& path, const std::string& name, const std::string& email = "") {
    logon::PkeyPtr key = TestRsaKey("foreign " + std::filesystem::path(path).filename().string());
    logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), name, email);
    WriteFile(path, logon::CertToPem(cert.get()));
    return cert;
}

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

// A certificate of `key` issued by a test CA: subject CN `name` and `email`, valid from
// `fromDays` to `toDays` days from now, with extensions in OpenSSL's text form.
logon::X509Ptr IssueCert(EVP_PKEY* key, const std::string& name, const std::string& email, long fromDays, long toDays,
                         const std::vector<std::pair<int, std::string>>& extensions) {
    logon::PkeyPtr caKey = TestRsaKey("test ca");
    logon::X509Ptr ca = logon::MakeSelfSignedCert(caKey.get(), "Test CA", "");
    logon::X509Ptr cert(X509_new());
    X509_NAME* subject = X509_get_subject_name(cert.get());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 5);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
    auto text = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); };
    X509_NAME_add_entry_by_NID(subject, NID_commonName, MBSTRING_UTF8, text(name), -1, -1, 0);
    X509_NAME_add_entry_by_NID(subject, NID_pkcs9_emailAddress, MBSTRING_ASC, text(email), -1, -1, 0);
    X509_set_issuer_name(cert.get(), X509_get_subject_name(ca.get()));
    X509_set_pubkey(cert.get(), key);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, ca.get(), cert.get(), nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
        EXPECT_NE(ext, nullptr) << value;
        X509_add_ext(cert.get(), ext, -1);
        X509_EXTENSION_free(ext);
    }
    EXPECT_GT(X509_sign(cert.get(), caKey.get(), EVP_sha256()), 0);
    return cert;
}

class LogonStoreTest : public ::testing::Test {
protected:
    // Puts a certificate row straight into the database, as a store that took it before such
    // rows were refused (or a registration racing the import) left it.
    void PutCertRow(const std::string& name, int32_t userNumber, const std::string& subject, X509* cert) {
        logon::Database db;
        ASSERT_TRUE(db.Open(store_.DatabasePath()));
        logon::Statement put(db,
                             "INSERT INTO certs (name, user_number, subject, email, der) VALUES (?1, ?2, ?3, '', ?4)");
        ASSERT_TRUE(put.Bind(1, name).Bind(2, userNumber).Bind(3, subject).Bind(4, logon::CertToDer(cert)).Run());
    }

    int Unwrap(LogonStore& store, const std::vector<unsigned char>& wrapped, unsigned char* out,
               const std::string& user, const std::string& recipientText, const std::string& password) {
        return store.UnwrapSessionKey(static_cast<int>(wrapped.size()), wrapped.data(), out, user, recipientText, 2,
                                      password.data(), static_cast<int>(password.size()));
    }

    TempDir dir_;
    std::string home_ = dir_ / "suite";
    TestLogon store_{home_};
};

TEST_F(LogonStoreTest, SessionKeyWrappedForOneUserOpensOnlyWithThatPassword) {
    int32_t alice = store_.AddUser("alice", "Alice", "alice@example.org", "a-secret");
    int32_t bob = store_.AddUser("bob", "Bob", "bob@example.org", "b-secret");
    ASSERT_GT(alice, 0) << store_.LastError();
    ASSERT_GT(bob, 0) << store_.LastError();
    EXPECT_NE(alice, bob);

    unsigned char keyThenIv[24];
    for (int i = 0; i < 24; ++i) keyThenIv[i] = static_cast<unsigned char>(i * 11 + 3);
    unsigned char buffer[kLogonWrapOutRoom];
    int w = store_.WrapSessionKey(24, keyThenIv, buffer, alice);
    ASSERT_GT(w, 0);
    std::vector<unsigned char> wrapped(buffer, buffer + w);
    LogonKeyRecord key;
    LogonUserRecord user;
    ASSERT_EQ(store_.GetUserRecords(key, user, "alice"), 1);

    // A second process: a fresh store object on the same folder.
    store_.Close();
    LogonStore reader(kTestCost);
    ASSERT_TRUE(reader.Open(home_));
    unsigned char out[kLogonWrapOutRoom];
    ASSERT_EQ(Unwrap(reader, wrapped, out, "alice", key.keyText, "a-secret"), 24);
    EXPECT_EQ(std::memcmp(out, keyThenIv, 24), 0);
    EXPECT_EQ(Unwrap(reader, wrapped, out, "Alice", user.certName, "a-secret"), 24);

    EXPECT_LE(Unwrap(reader, wrapped, out, "alice", key.keyText, "a-secreT"), 0);
    EXPECT_LE(Unwrap(reader, wrapped, out, "bob", key.keyText, "b-secret"), 0);
    EXPECT_LE(Unwrap(reader, wrapped, out, "bob", "bob", "b-secret"), 0);
    EXPECT_LE(Unwrap(reader, wrapped, out, "alice", "bob", "a-secret"), 0);

    EVP_PKEY* pkey = nullptr;
    int type = -1;
    EXPECT_EQ(reader.GetPrivateKey(&pkey, "alice", "b-secret", 8, type), kPrivateKeyBadPassword);
    EXPECT_EQ(pkey, nullptr);
    EXPECT_EQ(reader.GetPrivateKey(&pkey, "carol", "x", 1, type), kPrivateKeyUnknownUser);
}

TEST_F(LogonStoreTest, FilesAreOwnerOnlyAndThePrivateKeyNeverPlain) {
    ASSERT_GT(store_.AddUser("cy", "Cy", "cy@example.org", "c-secret"), 0) << store_.LastError();
    EXPECT_EQ(ModeOf(home_), 0700u);
    EXPECT_EQ(ModeOf(store_.CertFolder()), 0700u);
    std::string mail;
    ASSERT_EQ(store_.GetMailFolder(mail), 1);
    EXPECT_EQ(mail.back(), '/');
    EXPECT_EQ(ModeOf(mail), 0700u);
    EXPECT_EQ(ModeOf(store_.DatabasePath()), 0600u);
    std::string certFile;
    ASSERT_EQ(store_.GetCertFilePath("cy", certFile), 1);
    EXPECT_EQ(ModeOf(certFile), 0600u);

    store_.Close();  // the WAL is folded back into the database
    std::string all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home_)) {
        if (entry.is_regular_file()) all += ReadFile(entry.path().string());
    }
    EXPECT_NE(all.find("ENCRYPTED PRIVATE KEY"), std::string::npos);
    EXPECT_EQ(all.find("BEGIN PRIVATE KEY"), std::string::npos);
    EXPECT_EQ(all.find("BEGIN RSA PRIVATE KEY"), std::string::npos);
    EXPECT_EQ(all.find("c-secret"), std::string::npos);
}

TEST_F(LogonStoreTest, GroupAndSharePathResolveToUserNumbers) {
    int32_t a = store_.AddUser("a", "A", "a@x.org", "pass-a");
    int32_t b = store_.AddUser("b", "B", "b@x.org", "pass-b");
    int32_t c = store_.AddUser("c", "C", "c@x.org", "pass-c");
    ASSERT_GT(c, 0);
    int32_t team = store_.AddGroup("team");
    ASSERT_GT(team, 0);
    ASSERT_TRUE(store_.AddGroupMembers("TEAM", {"c", "b", "c"}));
    EXPECT_FALSE(store_.AddGroupMembers("team", {"a", "nobody"}));  // nothing added
    EXPECT_NE(store_.LastError().find("nobody"), std::string::npos);
    EXPECT_EQ(store_.AddGroup("Team"), 0);
    ASSERT_TRUE(store_.GrantShare("/srv/Share/", {{kDecryptManUser, a}, {kDecryptManGroup, team}}));
    ASSERT_TRUE(store_.GrantShare("/srv/share", {{kDecryptManUser, a}, {kDecryptManUser, b}}));
    EXPECT_FALSE(store_.GrantShare("/srv/share", {{kDecryptManGroup, team + 7}}));

    ScopedLogonLibrary installed(&store_);
    CInsureDecryptMen men;
    ASSERT_EQ(men.OpenFile(), 1);
    Insure_Decrypt_Men rec;
    ASSERT_EQ(men.GetRecOfPath(rec, "a", "/SRV/share"), 1);
    ASSERT_EQ(rec.entries.size(), 3u);
    EXPECT_EQ(rec.entries[0].type, kDecryptManUser);
    EXPECT_EQ(rec.entries[0].id, a);
    EXPECT_EQ(rec.entries[1].type, kDecryptManGroup);
    EXPECT_EQ(rec.entries[1].id, team);
    EXPECT_EQ(rec.entries[2].id, b);
    EXPECT_EQ(men.GetRecOfPath(rec, "a", "/srv/other"), 0);

    CUserGroup groups;
    ASSERT_EQ(groups.OpenFile(), 1);
    Lumo_Group g;
    ASSERT_EQ(groups.ReadRecByID(team, g), 1);
    EXPECT_EQ(g.members, (std::vector<int32_t>{c, b}));

    // A removed user leaves no trace in groups or shares, and the number is never reused.
    ASSERT_TRUE(store_.RemoveUser("b"));
    ASSERT_EQ(groups.ReadRecByID(team, g), 1);
    EXPECT_EQ(g.members, (std::vector<int32_t>{c}));
    ASSERT_EQ(men.GetRecOfPath(rec, "a", "/srv/share"), 1);
    EXPECT_EQ(rec.entries.size(), 2u);
    int32_t d = store_.AddUser("d", "D", "d@x.org", "pass-d");
    EXPECT_GT(d, c);
    LogonKeyRecord key;
    LogonUserRecord user;
    EXPECT_EQ(store_.GetUserRecordByNumber(key, user, b), 0);
    std::string path;
    EXPECT_EQ(store_.GetCertFilePath("b", path), 0);
}

TEST_F(LogonStoreTest, CertificateChangedAfterConfirmationAnswersTwo) {
    const std::string first = dir_ / "dan1.pem", second = dir_ / "dan2.pem";
    WriteForeignCert(first, "Dan", "dan@example.org");
    WriteForeignCert(second, "Dan", "dan@example.org");
    std::string name;
    ASSERT_TRUE(store_.ImportCert(first, "", name)) << store_.LastError();
    EXPECT_EQ(name, "Dan");

    ScopedLogonLibrary installed(&store_);
    CSignPubCert sign;
    ASSERT_EQ(sign.OpenFile(), 1);
    Lumo_PubCert rec;
    rec.name = "dan";
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertNeverConfirmed);
    ASSERT_TRUE(store_.ConfirmCert("DAN"));
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertConfirmed);
    // Another key under the name is refused unless asked for; then the change shows.
    EXPECT_FALSE(store_.ImportCert(second, "Dan", name));
    EXPECT_EQ(store_.LastError(),
              "another certificate is installed as 'Dan'; it is replaced only when asked to (--force)");
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertConfirmed);
    ASSERT_TRUE(store_.ImportCert(first, "Dan", name)) << "the same certificate again";
    ASSERT_TRUE(store_.ImportCert(second, "Dan", name, true));
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertModified);
    ASSERT_TRUE(store_.ConfirmCert("Dan"));
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertConfirmed);
    rec.name = "eve";
    EXPECT_EQ(sign.VerifyPubCert(rec, "owner"), kCertUnknown);

    // The installed file follows the database, even after someone deleted it.
    std::string path;
    ASSERT_EQ(store_.GetCertFilePath("dan", path), 1);
    std::filesystem::remove(path);
    ASSERT_EQ(store_.GetCertFilePath("dan", path), 1);
    LogonCertFileRecord file;
    ASSERT_EQ(store_.ReadCertFile(path, file), 1);
    EXPECT_EQ(file.name, "Dan");
    EXPECT_EQ(file.email, "dan@example.org");
    EXPECT_EQ(store_.MapRecipientKeyText("Dan<DAN@example.org>", 1), "Dan");
}

TEST_F(LogonStoreTest, CorruptOrForeignCertificateImportChangesNothing) {
    const std::string good = dir_ / "fay.pem";
    WriteForeignCert(good, "Fay", "fay@example.org");
    std::string name;
    ASSERT_TRUE(store_.ImportCert(good, "", name));
    ASSERT_TRUE(store_.ConfirmCert("Fay"));
    std::string before;
    ASSERT_TRUE(store_.ExportCert("Fay", before));

    std::string pem = ReadFile(good);
    std::string broken = pem;
    broken[broken.size() / 2] = broken[broken.size() / 2] == 'A' ? 'B' : 'A';
    WriteFile(dir_ / "broken.pem", broken);
    WriteFile(dir_ / "cut.pem", pem.substr(0, pem.size() / 2));
    WriteFile(dir_ / "empty.pem", "");
    logon::PkeyPtr key = TestRsaKey("fay");
    WriteFile(dir_ / "key.pem", logon::ExportPrivateKeyPem(key.get(), "x", 1, kTestCost));
    WriteFile(dir_ / "big.pem", std::string(200 * 1024, 'A'));
    for (const char* file : {"broken.pem", "cut.pem", "empty.pem", "key.pem", "big.pem", "missing.pem"}) {
        EXPECT_FALSE(store_.ImportCert(dir_ / file, "Fay", name)) << file;
        EXPECT_FALSE(store_.LastError().empty()) << file;
    }
    std::string after;
    ASSERT_TRUE(store_.ExportCert("Fay", after));
    EXPECT_EQ(after, before);
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store_.ListCerts(certs));
    ASSERT_EQ(certs.size(), 1u);
    EXPECT_EQ(certs[0].state, kCertConfirmed);

    // A registered user's certificate belongs to the user's own key and cannot be replaced.
    ASSERT_GT(store_.AddUser("gus", "Gus", "gus@example.org", "pass-g"), 0);
    EXPECT_FALSE(store_.ImportCert(good, "GUS", name));
    EXPECT_EQ(store_.AddUser("fay", "Fay", "fay@example.org", "pass-f"), 0);  // name held by a certificate
}

// A certificate for the user's own key is installed only when it fits a user's certificate;
// each refusal names its reason and leaves the user's certificate as it was.
TEST_F(LogonStoreTest, CertificateForTheUsersKeyInstallsOnlyWhenFitForTheUser) {
    ASSERT_GT(store_.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
    std::string before;
    ASSERT_TRUE(store_.ExportCert("alice", before));
    logon::PkeyPtr own = TestRsaKey("alice"), other = TestRsaKey("mallory");
    const std::vector<std::pair<int, std::string>> person = {{NID_basic_constraints, "critical,CA:FALSE"},
                                                             {NID_key_usage, "digitalSignature,keyEncipherment"},
                                                             {NID_ext_key_usage, "emailProtection,clientAuth"}};
    struct Case {
        const char* what;
        EVP_PKEY* key;
        std::string email;
        long from, to;
        std::vector<std::pair<int, std::string>> extensions;
        std::string refusal;  // empty: installs
    } cases[] = {
        {"another key", other.get(), "alice@example.org", 0, 30, person, "is for another key"},
        {"expired", own.get(), "alice@example.org", -30, -1, person, "expired on"},
        {"not yet valid", own.get(), "alice@example.org", 1, 30, person, "is not valid before"},
        {"for servers",
         own.get(),
         "alice@example.org",
         0,
         30,
         {{NID_ext_key_usage, "serverAuth"}},
         "leaves out e-mail protection"},
        {"a CA", own.get(), "alice@example.org", 0, 30, {{NID_basic_constraints, "CA:TRUE"}}, "CA certificate"},
        {"signing only",
         own.get(),
         "alice@example.org",
         0,
         30,
         {{NID_key_usage, "digitalSignature"}},
         "key usage does not allow"},
        {"another address", own.get(), "mallory@example.org", 0, 30, person, "for the address 'mallory@example.org'"},
        {"no extensions", own.get(), "ALICE@example.org", 0, 30, {}, ""},
        {"fit", own.get(), "alice@example.org", 0, 30, person, ""},
    };
    for (const Case& c : cases) {
        logon::X509Ptr cert = IssueCert(c.key, "Alice Smith", c.email, c.from, c.to, c.extensions);
        const std::string file = dir_ / "issued.pem";
        WriteFile(file, logon::CertToPem(cert.get()));
        const bool installed = store_.InstallUserCert("alice", file);
        const std::string why = store_.LastError();
        std::string now;
        ASSERT_TRUE(store_.ExportCert("alice", now));
        if (!c.refusal.empty()) {
            EXPECT_FALSE(installed) << c.what;
            EXPECT_NE(why.find(c.refusal), std::string::npos) << c.what << ": " << why;
            EXPECT_EQ(now, before) << c.what;
            continue;
        }
        EXPECT_TRUE(installed) << c.what << ": " << why;
        EXPECT_EQ(now, logon::CertToPem(cert.get())) << c.what;
        std::vector<LogonCertInfo> certs;
        ASSERT_TRUE(store_.ListCerts(certs));
        EXPECT_EQ(certs[0].state, kCertConfirmed) << c.what;
        EXPECT_EQ(certs[0].record.subjectName, "Alice Smith");
    }
    EXPECT_FALSE(store_.InstallUserCert("nobody", dir_ / "issued.pem"));
}

TEST_F(LogonStoreTest, SettingsRoundTripWithDefaults) {
    EXPECT_EQ(store_.GetOption("Option", "SIgnID", "42"), "42");
    ASSERT_TRUE(store_.SetOption("Option", "SIgnID", "8"));
    ASSERT_TRUE(store_.SetOption("option", "signid", "45"));  // the same setting
    ASSERT_TRUE(store_.SetOption("MAIL", "MAPI", ""));
    store_.Close();
    LogonStore again(kTestCost);
    ASSERT_TRUE(again.Open(home_));
    EXPECT_EQ(again.GetOption("OPTION", "SignId", "42"), "45");
    EXPECT_EQ(again.GetOption("MAIL", "MAPI", "1"), "");  // set but empty is not unset
    EXPECT_EQ(again.GetOption("MAIL", "SIgnID", "none"), "none");
    EXPECT_FALSE(again.SetOption("Option", std::string(kLogonOptionNameRoom, 'k'), "v"));
    EXPECT_FALSE(again.SetOption("", "k", "v"));
}

TEST_F(LogonStoreTest, OverlongOrMalformedTextsAreRefused) {
    const std::string id(kLogonCertNameRoom - 1, 'u');
    EXPECT_EQ(store_.AddUser(id + "u", "U", "", "pass-p"), 0);
    EXPECT_NE(store_.LastError().find("at most 39"), std::string::npos) << store_.LastError();
    // Name and e-mail fill the key text "name<e-mail>" up to its room exactly.
    const std::string email = "n@x.org";
    const std::string name(kLogonKeyTextRoom - 1 - email.size() - 2, 'n');
    EXPECT_EQ(store_.AddUser("v", name + "n", email, "pass-p"), 0);
    EXPECT_EQ(store_.AddUser("w", "W", "not-an-address", "pass-p"), 0);
    EXPECT_EQ(store_.AddUser("x", "X", "", std::string(kLogonPasswordRoom, 'p')), 0);
    EXPECT_EQ(store_.AddUser("y", "Y", "", ""), 0);
    EXPECT_EQ(store_.AddUser("y", "Y", "", "five5"), 0);
    EXPECT_EQ(store_.LastError(), "the password needs at least 6 characters");
    EXPECT_EQ(store_.AddUser("y", "Y", "", "密码密码密"), 0) << "characters are counted, not bytes";
    for (const char* bad : {"a/b", "a;b", "share:z", ".z", " z", "a<b"}) {
        EXPECT_EQ(store_.AddUser(bad, "Z", "", "pass-p"), 0) << bad;
    }
    EXPECT_GT(store_.AddUser(id, name, email, std::string(kLogonPasswordRoom - 1, 'p')), 0) << store_.LastError();
    std::vector<LogonUserInfo> users;
    ASSERT_TRUE(store_.ListUsers(users));
    EXPECT_EQ(users.size(), 1u);

    EXPECT_EQ(store_.AddGroup(std::string(kLogonGroupNameRoom, 'g')), 0);
    EXPECT_GT(store_.AddGroup(std::string(kLogonGroupNameRoom - 1, 'g')), 0);
    EXPECT_EQ(store_.AddGroup("@g"), 0);
    const int32_t number = users[0].record.number;
    EXPECT_FALSE(store_.GrantShare("/" + std::string(kLogonPathRoom - 1, 's'), {{kDecryptManUser, number}}));
    EXPECT_TRUE(store_.GrantShare("/" + std::string(kLogonPathRoom - 2, 's'), {{kDecryptManUser, number}}));
    EXPECT_FALSE(store_.GrantShare("  ", {{kDecryptManUser, number}}));
}

TEST_F(LogonStoreTest, KeyDeviceHoldsTheKeyAndSignsOnlyForTheLoggedOnUserWhilePresent) {
    std::string device = dir_ / "token";
    ASSERT_GT(store_.AddUser("gil", "Gil", "gil@example.org", "pass-g", device), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("hal", "Hal", "", "pass-h", device), 0) << store_.LastError();
    ASSERT_TRUE(std::filesystem::exists(device + "/gil.p8"));
    EXPECT_EQ(ModeOf(device + "/gil.p8"), 0600u);
    EXPECT_NE(ReadFile(device + "/gil.p8").find("ENCRYPTED PRIVATE KEY"), std::string::npos);

    unsigned char digest[kLogonDigestLength];
    for (size_t i = 0; i < sizeof digest; ++i) digest[i] = static_cast<unsigned char>(i * 5);
    std::vector<unsigned char> sig(kLogonSignatureRoom);
    int len = 0;
    EXPECT_EQ(store_.DeviceSign("gil", digest, 20, sig.data(), &len), 0) << "nobody is logged on";
    ASSERT_TRUE(store_.LogOn("hal", "pass-h"));
    EXPECT_EQ(store_.DeviceSign("gil", digest, 20, sig.data(), &len), 0) << "another user is logged on";
    ASSERT_TRUE(store_.LogOn("gil", "pass-g"));
    EXPECT_EQ(store_.GetUserType(), kLogonKeyDevice);
    EXPECT_EQ(store_.IsDevicePresent(), 1);
    EXPECT_EQ(store_.GetSignerType("Gil<gil@example.org>", 16), kLogonKeyDevice);
    ASSERT_EQ(store_.DeviceSign(" GIL ", digest, 20, sig.data(), &len), 1);
    EXPECT_EQ(len, 256);
    EXPECT_NE(store_.DeviceVerify("gil", 4, sig.data(), len, digest, 20), 0);
    digest[3] ^= 1;
    EXPECT_EQ(store_.DeviceVerify("gil", 4, sig.data(), len, digest, 20), 0);

    std::filesystem::rename(device, dir_ / "elsewhere");  // the device is pulled out
    EXPECT_EQ(store_.IsDevicePresent(), 0);
    EVP_PKEY* key = nullptr;
    int type = -1;
    EXPECT_EQ(store_.GetPrivateKey(&key, "gil", "pass-g", 6, type), kPrivateKeyDeviceAbsent);
    EXPECT_EQ(store_.DeviceSign("gil", digest, 20, sig.data(), &len), 0);
}

TEST_F(LogonStoreTest, TextsWritersStoreResolveToTheirUser) {
    ASSERT_GT(store_.AddUser("ivy", "Ivy", "ivy@example.org", "pass-i"), 0);
    ASSERT_GT(store_.AddUser("jon", "Jon", "", "pass-j"), 0);
    LogonKeyRecord key;
    LogonUserRecord user;
    ASSERT_EQ(store_.GetUserRecords(key, user, "ivy"), 1);
    for (const std::string& text : {user.certName, user.sharedKeyName, key.keyText, store_.GetSenderIdentity("ivy", 8),
                                    std::string(" IVY<ivy@EXAMPLE.org> ")}) {
        EVP_PKEY* pub = nullptr;
        X509* cert = nullptr;
        ASSERT_EQ(store_.GetSignerCert(text, 8, &pub, &cert), 1) << text;
        EXPECT_EQ(logon::CertEmail(cert), "ivy@example.org");
        EVP_PKEY_free(pub);
        X509_free(cert);
        EXPECT_EQ(store_.MapRecipientKeyText(text, 1), "ivy") << text;
    }
    std::string signer;
    ASSERT_EQ(store_.GetSignerName("jon", signer), 1);
    EXPECT_EQ(store_.MapRecipientKeyText(signer, 1), "jon");

    std::string own;
    EXPECT_EQ(store_.GetOwnCertFile(own), 0);  // nobody logged on
    ASSERT_TRUE(store_.LogOn("jon", "pass-j"));
    ASSERT_EQ(store_.GetOwnCertFile(own), 1);
    LogonCertFileRecord file;
    ASSERT_EQ(store_.ReadCertFile(own, file), 1);
    EXPECT_EQ(file.name, "Jon");
    EXPECT_EQ(file.email, "");
}

TEST_F(LogonStoreTest, OutputAndOpenQueriesAnswerOnlyWhenConfigured) {
    EXPECT_EQ(store_.QueryOutputFolder(dir_.Path()), 0);
    EXPECT_EQ(store_.OpenResult(dir_ / "x"), 0);
    ASSERT_TRUE(store_.SetOption("Option", "MarkOutput", "true"));
    ASSERT_EQ(store_.QueryOutputFolder(dir_.Path()), 1);
    store_.BeginOutput();
    EXPECT_EQ(ReadFile(home_ + "/writing"), dir_.Path() + "\n");
    store_.EndOutput();
    EXPECT_FALSE(std::filesystem::exists(home_ + "/writing"));
    ASSERT_TRUE(store_.SetOption("Option", "OpenWith", "true"));
    EXPECT_EQ(store_.OpenResult(dir_ / "x"), 1);
    ASSERT_TRUE(store_.SetOption("Option", "OpenWith", "false"));
    EXPECT_EQ(store_.OpenResult(dir_ / "x"), 0);
    ASSERT_TRUE(store_.SetOption("Option", "OpenWith", "/no/such/program"));
    EXPECT_EQ(store_.OpenResult(dir_ / "x"), 0);
}

// Which user is the default is seen through the command line (LogonCommandsTest); here the
// session a log-on keeps.
TEST_F(LogonStoreTest, LogOnKeepsItsSessionAndAFailedOneEndsIt) {
    std::string user;
    EXPECT_FALSE(store_.DefaultUser(user)) << "no user, no default";
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pass-1"), 0);
    ASSERT_GT(store_.AddUser("ben", "Ben", "", "pass-2"), 0);
    ASSERT_TRUE(store_.LogOn("ben", "pass-2"));
    std::string id;
    SecretText password;
    int type = -1;
    ASSERT_EQ(store_.GetLogonUser(id, password, type), 1);
    EXPECT_EQ(password.view(), "pass-2");
    Lumo_PrivateKey index;
    ASSERT_EQ(store_.GetPrivateKeyIndex(index, id), 1);
    EXPECT_EQ(index.name, "ben");
    EXPECT_FALSE(store_.LogOn("ann", "pass-2"));
    EXPECT_EQ(store_.IsLoggedOn(), 0);  // a failed log-on ends the previous session
}

// Texts that name a party (user IDs, key texts, certificate names) keep naming that party: no
// foreign certificate or new user can take a text already in use.
TEST_F(LogonStoreTest, ForeignCertificateCannotTakeAUsersKeyText) {
    ASSERT_GT(store_.AddUser("u1", "Alice", "", "pass-a"), 0) << store_.LastError();
    Lumo_PubCert own;
    ASSERT_EQ(store_.GetCertRecordByNumber(1, own), 1);
    const std::string file = dir_ / "m.pem";
    logon::X509Ptr mallory = WriteForeignCert(file, "Mallory");
    std::string installed;
    EXPECT_FALSE(store_.ImportCert(file, "alice", installed));
    EXPECT_NE(store_.LastError().find("u1"), std::string::npos) << store_.LastError();
    EXPECT_FALSE(store_.ImportCert(file, "U1", installed));
    ASSERT_TRUE(store_.ImportCert(file, "mallory", installed)) << store_.LastError();

    // A store that took such a certificate before it was refused: the user still wins.
    PutCertRow("Alice", 0, "Mallory", mallory.get());
    EXPECT_EQ(store_.MapRecipientKeyText("Alice", 1), "u1");
    EXPECT_EQ(SignerDer(store_, "Alice"), own.der);
    EXPECT_EQ(store_.CheckRecipientAccess("u1", "Alice", 2, "pass-a", 6), 1);
}

TEST_F(LogonStoreTest, NewUserCannotTakeAKeyTextInUse) {
    ASSERT_GT(store_.AddUser("u1", "Alice", "", "pass-a"), 0) << store_.LastError();
    std::string installed;
    WriteForeignCert(dir_ / "d.pem", "Dave");
    WriteForeignCert(dir_ / "e.pem", "Eve", "eve@example.org");
    ASSERT_TRUE(store_.ImportCert(dir_ / "d.pem", "dave", installed));
    ASSERT_TRUE(store_.ImportCert(dir_ / "e.pem", "evecert", installed));

    struct Case {
        const char *id, *name, *email;
    };
    for (const Case& c : {Case{"u2", "ALICE", ""},               // another user's key text
                          Case{"u3", "Dave", ""},                // an installed certificate's name
                          Case{"u4", "Eve", "eve@example.org"},  // an installed certificate's key text
                          Case{"u5", "u1", ""},                  // another user's ID
                          Case{"alice", "Zed", ""}}) {           // the new ID is a user's key text
        EXPECT_EQ(store_.AddUser(c.id, c.name, c.email, "pass-x"), 0) << c.id;
        EXPECT_FALSE(store_.LastError().empty()) << c.id;
    }
    std::vector<LogonUserInfo> users;
    ASSERT_TRUE(store_.ListUsers(users));
    EXPECT_EQ(users.size(), 1u);
    EXPECT_GT(store_.AddUser("u6", "Alice", "alice@example.org", "pass-x"), 0) << store_.LastError();
}

// The upsert itself never replaces a user's certificate, even when the user it belongs to is
// not found (a registration by another process racing the import: a user's row without its user).
TEST_F(LogonStoreTest, ImportNeverReplacesAUsersCertificate) {
    logon::X509Ptr user = WriteForeignCert(dir_ / "ghost.pem", "Ghost");
    PutCertRow("ghost", 77, "Ghost", user.get());
    WriteForeignCert(dir_ / "g.pem", "Ghost");
    std::string installed;
    EXPECT_FALSE(store_.ImportCert(dir_ / "g.pem", "ghost", installed));
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store_.ListCerts(certs));
    ASSERT_EQ(certs.size(), 1u);
    EXPECT_EQ(certs[0].record.der, logon::CertToDer(user.get()));
}

// A suite another local user could have swapped for a store of their own (or could read the
// sealed keys of) is refused, naming the path, its owner and its mode; a new suite is never
// made inside a folder someone else owns. Foreign owners need root; those rows are skipped
// otherwise.
TEST_F(LogonStoreTest, SuiteAnotherUserCouldChangeIsRefusedByName) {
    store_.Close();
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    const std::string db = home_ + "/logon.db";
    WriteFile(db + "-journal", "");
    ::chmod((db + "-journal").c_str(), 0600);
    struct Row {
        std::string path;
        mode_t mode;  // 0: keep the mode, give the path to another user
    };
    const std::vector<Row> rows = {{home_, 0770},
                                   {home_ + "/certs", 0702},
                                   {home_ + "/mail", 0720},
                                   {db, 0640},
                                   {db, 0604},
                                   {db + "-journal", 0644},
                                   {home_, 0},
                                   {home_ + "/certs", 0},
                                   {home_ + "/mail", 0},
                                   {db, 0},
                                   {db + "-journal", 0}};
    for (const Row& row : rows) {
        if (row.mode == 0 && !root) continue;
        struct stat before {};
        ASSERT_EQ(::stat(row.path.c_str(), &before), 0);
        if (row.mode)
            ASSERT_EQ(::chmod(row.path.c_str(), row.mode), 0);
        else
            ASSERT_EQ(::chown(row.path.c_str(), nobody, nobody), 0);
        LogonStore store(kTestCost);
        EXPECT_FALSE(store.Open(home_)) << row.path;
        const std::string owner = row.mode ? std::to_string(::geteuid()) : std::to_string(nobody);
        const std::string mode = Format("mode %04o", row.mode ? row.mode : before.st_mode & 07777);
        for (const std::string& part : {row.path + " belongs to", owner + ")", mode})
            EXPECT_NE(store.LastError().find(part), std::string::npos) << store.LastError();
        ::chmod(row.path.c_str(), before.st_mode & 07777);
        ASSERT_EQ(::chown(row.path.c_str(), before.st_uid, before.st_gid), 0);
    }
    LogonStore store(kTestCost);
    EXPECT_TRUE(store.Open(home_)) << store.LastError();
    store.Close();
    if (!root) GTEST_SKIP() << "a folder of another user needs root";
    const std::string foreign = dir_ / "foreign";
    std::filesystem::create_directories(foreign);
    ASSERT_EQ(::chown(foreign.c_str(), nobody, nobody), 0);
    EXPECT_FALSE(store.Open(foreign + "/suite"));
    EXPECT_EQ(store.LastError(),
              "refusing to make a suite folder in " + foreign + ": it belongs to user " +
                  (::getpwuid(nobody) ? std::string(::getpwuid(nobody)->pw_name) + " (65534)" : std::string("65534")) +
                  " and has mode 0755");
    EXPECT_FALSE(std::filesystem::exists(foreign + "/suite"));
}

TEST_F(LogonStoreTest, ForeignFileIsNotTakenForAStore) {
    TempDir other;
    WriteFile(other / "logon.db", std::string(4096, 'x'));
    ::chmod((other / "logon.db").c_str(), 0600);
    LogonStore store(kTestCost);
    EXPECT_FALSE(store.Open(other.Path()));
    EXPECT_NE(store.LastError().find("logon store"), std::string::npos) << store.LastError();
    WriteFile(other / "file", "x");
    EXPECT_FALSE(store.Open(other / "file"));
}

// ---- Processes

// Every round rewrites all keys of one section in one transaction.
constexpr int kKillKeys = 400;

bool WriteRound(LogonStore& store, const std::string& section, int round) {
    std::vector<std::pair<std::string, std::string>> values;
    for (int k = 0; k < kKillKeys; ++k) values.emplace_back("k" + std::to_string(k), std::to_string(round));
    return store.SetOptions(section, values);
}

TEST_F(LogonStoreTest, KilledWriterLeavesStoreBeforeOrAfterItsChange) {
    ASSERT_TRUE(WriteRound(store_, "Kill", 0));
    store_.Close();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = StartChild([&] {
        ::close(ready[0]);
        LogonStore writer(kTestCost);
        if (!writer.Open(home_)) return 2;
        for (int round = 1;; ++round) {
            if (!WriteRound(writer, "Kill", round)) return 3;
            char done = 'r';
            if (::write(ready[1], &done, 1) != 1) return 4;
        }
    });
    ::close(ready[1]);
    char got = 0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(::read(ready[0], &got, 1), 1);
    ::kill(child, SIGKILL);  // somewhere inside a later round
    int status = WaitChild(child);
    ::close(ready[0]);
    ASSERT_TRUE(EndedBy(status, SIGKILL));

    LogonStore after(kTestCost);
    ASSERT_TRUE(after.Open(home_)) << after.LastError();
    EXPECT_TRUE(after.CheckIntegrity()) << after.LastError();
    std::string round = after.GetOption("Kill", "k0", "");
    EXPECT_GE(std::stoi(round), 3);
    for (int k = 1; k < kKillKeys; ++k) ASSERT_EQ(after.GetOption("Kill", "k" + std::to_string(k), ""), round) << k;
    EXPECT_TRUE(WriteRound(after, "Kill", 99));
}

TEST_F(LogonStoreTest, TwoWritersWaitForEachOther) {
    store_.Close();
    constexpr int kRounds = 25;
    std::vector<pid_t> children;
    for (const char* section : {"First", "Second"}) {
        children.push_back(StartChild([&] {
            LogonStore writer(kTestCost);
            if (!writer.Open(home_)) return 2;
            for (int i = 0; i < kRounds; ++i) {
                if (!writer.SetOption(section, "k" + std::to_string(i), std::to_string(i))) return 3;
            }
            return 0;
        }));
    }
    for (pid_t child : children) {
        int status = WaitChild(child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ASSERT_TRUE(store_.Open(home_));
    for (const char* section : {"First", "Second"}) {
        for (int i = 0; i < kRounds; ++i)
            EXPECT_EQ(store_.GetOption(section, "k" + std::to_string(i), ""), std::to_string(i));
    }
}

}  // namespace
