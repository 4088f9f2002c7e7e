// Private keys at rest and on a key device: what protects them, and what an interrupted
// registration or password change leaves behind.

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <filesystem>
#include <string>
#include <vector>

#include "KillPoints.h"
#include "TestLogon.h"
#include "logon/KeyDevice.h"
#include "logon/LogonDatabase.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

namespace {

// The key derivation of an encrypted PKCS#8 PEM, read from its PBES2 parameters: which one,
// its salt length and its cost (scrypt's N, or PBKDF2's count); kdf 0 when not PBES2.
struct PemKdf {
    int kdf = 0;
    long salt = 0;
    long cost = 0;
};
PemKdf KdfOf(const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    std::unique_ptr<X509_SIG, decltype(&X509_SIG_free)> sig(PEM_read_bio_PKCS8(bio.get(), nullptr, nullptr, nullptr),
                                                            X509_SIG_free);
    if (!sig) return {};
    const X509_ALGOR* alg = nullptr;
    X509_SIG_get0(sig.get(), &alg, nullptr);
    if (OBJ_obj2nid(alg->algorithm) != NID_pbes2) return {};
    std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), alg->parameter)), PBE2PARAM_free);
    if (!pbe2) return {};
    PemKdf out;
    out.kdf = OBJ_obj2nid(pbe2->keyfunc->algorithm);
    if (out.kdf == NID_id_scrypt) {
        std::unique_ptr<SCRYPT_PARAMS, decltype(&SCRYPT_PARAMS_free)> p(
            static_cast<SCRYPT_PARAMS*>(
                ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), pbe2->keyfunc->parameter)),
            SCRYPT_PARAMS_free);
        if (p) out.salt = ASN1_STRING_length(p->salt), out.cost = ASN1_INTEGER_get(p->costParameter);
    } else if (out.kdf == NID_id_pbkdf2) {
        std::unique_ptr<PBKDF2PARAM, decltype(&PBKDF2PARAM_free)> p(
            static_cast<PBKDF2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbe2->keyfunc->parameter)),
            PBKDF2PARAM_free);
        if (p) out.salt = ASN1_STRING_length(p->salt->value.octet_string), out.cost = ASN1_INTEGER_get(p->iter);
    }
    return out;
}

// A key as earlier versions wrote it: PBKDF2 with OpenSSL's default count and 8-byte salt.
std::string OldKeyPem(EVP_PKEY* key, const std::string& password) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), password.data(),
                                      static_cast<int>(password.size()), nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
}

std::string StoredKeyPem(const std::string& database, const std::string& userId) {
    logon::Database db;
    if (!db.Open(database)) return {};
    logon::Statement q(db, "SELECT private_key FROM users WHERE user_id = ?1");
    q.Bind(1, userId);
    return q.Next() ? q.Text(0) : std::string();
}

class KeyProtectionTest : public ::testing::Test {
protected:
    bool KeyOpens(const std::string& userId, const std::string& password) {
        EVP_PKEY* key = nullptr;
        int type = -1;
        int result = store_.GetPrivateKey(&key, userId, password.data(), static_cast<int>(password.size()), type);
        EVP_PKEY_free(key);
        return result == kPrivateKeyOk;
    }

    TempDir dir_;
    std::string home_ = dir_ / "suite";
    std::string device_ = dir_ / "token";
    TestLogon store_{home_};
};

TEST(LogonKeysTest, PrivateKeyPemIsScryptWithASixteenByteSaltOpensOnlyWithItsPasswordAndOldKeysStillOpen) {
    logon::PkeyPtr key = TestRsaKey("kim");
    PemKdf made = KdfOf(logon::ExportPrivateKeyPem(key.get(), "pw", 2));
    EXPECT_EQ(made.kdf, NID_id_scrypt);
    EXPECT_EQ(made.salt, 16);
    EXPECT_EQ(made.cost, static_cast<long>(logon::kKeyCost.n));
    std::string fast = logon::ExportPrivateKeyPem(key.get(), "pass\0word", 9, kTestCost);
    EXPECT_EQ(KdfOf(fast).cost, static_cast<long>(kTestCost.n));
    EXPECT_FALSE(logon::KeyPemNeedsNewCost(fast));
    logon::PkeyPtr back = logon::ImportPrivateKeyPem(fast, "pass\0word", 9);
    ASSERT_TRUE(back);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), back.get()), 1);
    EXPECT_FALSE(logon::ImportPrivateKeyPem(fast, "pass\0worD", 9));
    EXPECT_FALSE(logon::ImportPrivateKeyPem(fast, "pass", 4)) << "a password is not cut at a zero byte";

    std::string old = OldKeyPem(key.get(), "pw");
    EXPECT_EQ(KdfOf(old).kdf, NID_id_pbkdf2);
    EXPECT_TRUE(logon::KeyPemNeedsNewCost(old));
    EXPECT_TRUE(logon::ImportPrivateKeyPem(old, "pw", 2));
}

// A store made with the earlier cost (PBKDF2 verifiers and keys, 8-byte key salts): the next
// log-on makes each user's verifier and key again in scrypt, and every one still opens. Killed
// anywhere during that log-on, the store and the device open with the password as before.
TEST_F(KeyProtectionTest, OldCostKeysAreReprotectedAtLogOnKillSafely) {
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pw-ann"), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pw-gil", device_), 0) << store_.LastError();
    store_.Close();
    {
        logon::Database db;
        ASSERT_TRUE(db.Open(home_ + "/logon.db"));
        for (const std::string id : {"ann", "gil"}) {
            logon::PasswordVerifier v;
            v.scrypt = false;
            v.iterations = 1000;
            v.salt.assign(16, 7);
            v.hash.resize(32);
            const std::string pw = "pw-" + id;
            ASSERT_EQ(PKCS5_PBKDF2_HMAC(pw.data(), static_cast<int>(pw.size()), v.salt.data(), 16, 1000, EVP_sha256(),
                                        32, v.hash.data()),
                      1);
            logon::Statement set(db, "UPDATE users SET verifier = ?1 WHERE user_id = ?2");
            ASSERT_TRUE(set.Bind(1, logon::EncodeVerifier(v)).Bind(2, id).Run());
        }
        logon::Statement key(db, "UPDATE users SET private_key = ?1 WHERE user_id = 'ann'");
        ASSERT_TRUE(key.Bind(1, OldKeyPem(TestRsaKey("ann").get(), "pw-ann")).Run());
    }
    WriteFile(device_ + "/gil.p8", OldKeyPem(TestRsaKey("gil").get(), "pw-gil"));
    const std::string pristine = dir_ / "pristine";
    fs::create_directories(pristine);
    for (const char* part : {"suite", "token"})
        fs::copy(dir_ / part, pristine + "/" + part, fs::copy_options::recursive);

    auto reprotected = [&] {
        std::string verifiers;
        logon::Database db;
        if (!db.Open(home_ + "/logon.db")) return false;
        logon::Statement q(db, "SELECT verifier FROM users");
        while (q.Next()) verifiers += q.Text(0) + " ";
        PemKdf ann = KdfOf(StoredKeyPem(home_ + "/logon.db", "ann")), gil = KdfOf(ReadFile(device_ + "/gil.p8"));
        return verifiers.find("pbkdf2") == std::string::npos && ann.kdf == NID_id_scrypt && ann.salt == 16 &&
               gil.kdf == NID_id_scrypt && gil.salt == 16;
    };
    KillAtPoints(
        {"log-on re-protecting old keys", 8},
        [&] {
            for (const char* part : {"suite", "token"}) {
                fs::remove_all(dir_ / part);
                fs::copy(pristine + "/" + part, dir_ / part, fs::copy_options::recursive);
            }
        },
        [&] {
            return StartChild([&] {
                TestLogon store(home_);
                return store.LogOn("ann", "pw-ann") && store.LogOn("gil", "pw-gil") ? 0 : 1;
            });
        },
        [&](const KillPoint& point) {
            TestLogon store(home_);
            ASSERT_TRUE(store.IsOpen());
            EXPECT_TRUE(store.CheckIntegrity());
            for (const std::string id : {"ann", "gil"}) {
                EVP_PKEY* key = nullptr;
                int type = -1;
                const std::string pw = "pw-" + id;
                EXPECT_EQ(store.GetPrivateKey(&key, id, pw.data(), static_cast<int>(pw.size()), type), kPrivateKeyOk)
                    << id << " at point " << point.index;
                EVP_PKEY_free(key);
                EXPECT_TRUE(store.LogOn(id, pw)) << id;
            }
            EXPECT_TRUE(reprotected()) << "the log-on after a kill finishes the work";
        });
}

TEST_F(KeyProtectionTest, PasswordChangeReprotectsStoredAndDeviceKeysAtTheStoresCost) {
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pass-a"), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pass-g", device_), 0) << store_.LastError();
    // The key opened at log-on and kept for ann's session answers only her
    // password; the session's password stops checking once another process changes it.
    ASSERT_FALSE(store_.LogOn("ann", "pass-x", true));
    ASSERT_TRUE(store_.LogOn("ann", "pass-a", true));
    EXPECT_TRUE(KeyOpens("ann", "pass-a"));
    EXPECT_FALSE(KeyOpens("ann", "pA"));
    EXPECT_EQ(store_.CheckPassword("ann", "pass-x", 6, 2), 0);
    {
        TestLogon other(home_);
        ASSERT_TRUE(other.ChangePassword("ann", "pass-a", "pass-b")) << other.LastError();
        EXPECT_EQ(store_.CheckPassword("ann", "pass-a", 6, 2), 0) << "checked against the new verifier";
        EXPECT_FALSE(KeyOpens("ann", "pass-a"));
        ASSERT_TRUE(other.ChangePassword("ann", "pass-b", "pass-a")) << other.LastError();
    }
    ASSERT_TRUE(store_.LogOn("ann", "pass-a"));
    EXPECT_FALSE(store_.ChangePassword("ann", "wrong", "pass-a2"));
    ASSERT_TRUE(store_.ChangePassword("ann", "pass-a", "pass-a2")) << store_.LastError();
    ASSERT_TRUE(store_.ChangePassword("gil", "pass-g", "pass-g2")) << store_.LastError();
    for (const std::string id : {"ann", "gil"}) {
        const std::string old = id == "ann" ? "pass-a" : "pass-g";
        EXPECT_FALSE(KeyOpens(id, old)) << id;
        EXPECT_TRUE(KeyOpens(id, old + "2")) << id;
        EXPECT_FALSE(store_.LogOn(id, old)) << id;
        EXPECT_TRUE(store_.LogOn(id, old + "2")) << id;
    }
    EXPECT_FALSE(fs::exists(device_ + "/gil.p8.next"));
    store_.Close();  // the store's own connection is not needed to read the column
    EXPECT_EQ(KdfOf(StoredKeyPem(dir_ / "suite/logon.db", "ann")).cost, static_cast<long>(kTestCost.n));
    EXPECT_EQ(KdfOf(ReadFile(device_ + "/gil.p8")).cost, static_cast<long>(kTestCost.n));
}

// A command that needs the key first takes its opening as the password's proof, but only of
// the user's own key: a stored key swapped for another user's leaves the answer to the verifier.
TEST_F(KeyProtectionTest, OnlyTheUsersOwnKeyProvesThePassword) {
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pass-a"), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("bob", "Bob", "", "pass-b"), 0) << store_.LastError();
    EXPECT_TRUE(store_.LogOn("bob", "pass-b", true));
    EXPECT_FALSE(store_.LogOn("bob", "pass-a", true));
    {
        logon::Database db;
        ASSERT_TRUE(db.Open(home_ + "/logon.db"));
        logon::Statement swap(db, "UPDATE users SET private_key = ?1 WHERE user_id = 'ann'");
        swap.Bind(1, StoredKeyPem(home_ + "/logon.db", "bob"));
        ASSERT_TRUE(swap.Run());
    }
    for (const bool openKey : {true, false}) {
        EXPECT_FALSE(store_.LogOn("ann", "pass-b", openKey)) << openKey;
        EXPECT_TRUE(store_.LogOn("ann", "pass-a", openKey)) << openKey;
    }
}

// A removed user's key and verifier, and those a password change replaced, are gone from the
// store's files while the store is still open: not in free pages of the database, not in its log.
TEST_F(KeyProtectionTest, RemovedAndReplacedKeysLeaveNoTraceInTheStoreFiles) {
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pass-ann"), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("bob", "Bob", "", "pass-bob"), 0) << store_.LastError();
    const std::string db = home_ + "/logon.db";
    std::vector<std::string> traces;  // each key's base64 from its middle, each verifier's hash
    {
        logon::Database reader;
        ASSERT_TRUE(reader.Open(db));
        logon::Statement q(reader, "SELECT private_key, verifier FROM users");
        while (q.Next()) {
            traces.push_back(q.Text(0).substr(q.Text(0).size() / 2, 48));
            traces.push_back(q.Text(1).substr(q.Text(1).rfind('$') + 1));
        }
    }
    ASSERT_EQ(traces.size(), 4u);
    ASSERT_NE((ReadFile(db) + ReadFile(db + "-wal")).find(traces[2]), std::string::npos) << "the search finds keys";
    ASSERT_TRUE(store_.RemoveUser("bob")) << store_.LastError();
    ASSERT_TRUE(store_.ChangePassword("ann", "pass-ann", "pass-ann2")) << store_.LastError();
    const std::string files = ReadFile(db) + ReadFile(db + "-wal") + ReadFile(db + "-journal");
    for (const std::string& trace : traces) EXPECT_EQ(files.find(trace), std::string::npos) << trace;
    EXPECT_TRUE(KeyOpens("ann", "pass-ann2"));
}

// A change A->B whose store commit went through but whose device step did not leaves
// "<id>.p8" under A and "<id>.p8.next" under B: the key opens with either. A second change B->C
// that is interrupted after staging must still leave a key that opens with B, the store's
// password; a staged key the store never committed is dropped.
TEST(KeyDeviceTest, UnfinishedChangesSettleToTheStoresPassword) {
    TempDir dir;
    logon::FolderKeyDevice device(dir.Path(), "kim", kTestCost);
    logon::PkeyPtr key = TestRsaKey("kim");
    ASSERT_TRUE(device.StoreKey(key.get(), "A", 1));
    ASSERT_TRUE(device.StageKey(key.get(), "B", 1));  // first change, device step unfinished
    EXPECT_TRUE(device.OpenKey("A", 1));
    EXPECT_TRUE(device.OpenKey("B", 1));
    EXPECT_FALSE(device.OpenKey("X", 1));

    // The second change, as the store runs it, killed before its commit.
    ASSERT_TRUE(device.SettleStagedKey("B", 1));
    ASSERT_TRUE(device.StageKey(key.get(), "C", 1));
    EXPECT_TRUE(device.OpenKey("B", 1)) << "the store's password no longer opens the key";
    EXPECT_FALSE(device.OpenKey("A", 1));

    ASSERT_TRUE(device.SettleStagedKey("B", 1));
    EXPECT_FALSE(fs::exists(device.StagedPath()));
    EXPECT_FALSE(device.OpenKey("C", 1));

    // A change carried through: only the new password opens the same key.
    ASSERT_TRUE(device.StageKey(key.get(), "D", 1));
    ASSERT_TRUE(device.CommitStagedKey());
    EXPECT_FALSE(device.OpenKey("B", 1));
    logon::PkeyPtr back = device.OpenKey("D", 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), back.get()), 1);
}

TEST_F(KeyProtectionTest, PasswordChangeAfterAnUnfinishedOneKeepsTheKey) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pass-A", device_), 0) << store_.LastError();
    ASSERT_TRUE(store_.ChangePassword("gil", "pass-A", "pass-B")) << store_.LastError();
    // Put the device back as the first change would have left it had it been killed
    // between the store's commit and the device's rename.
    logon::FolderKeyDevice device(device_, "gil", kTestCost);
    logon::PkeyPtr key = device.OpenKey("pass-B", 6);
    ASSERT_TRUE(key);
    ASSERT_TRUE(device.StoreKey(key.get(), "pass-A", 6));
    ASSERT_TRUE(device.StageKey(key.get(), "pass-B", 6));

    ASSERT_TRUE(store_.ChangePassword("gil", "pass-B", "pass-C")) << store_.LastError();
    EXPECT_TRUE(KeyOpens("gil", "pass-C"));
    EXPECT_FALSE(fs::exists(device.StagedPath()));
    EXPECT_FALSE(device.OpenKey("pass-A", 6));
    EXPECT_FALSE(device.OpenKey("pass-B", 6));
}

TEST_F(KeyProtectionTest, DeviceFailureDuringPasswordChangeSaysSoAndChangesNothing) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pass-g", device_), 0) << store_.LastError();
    // Something on the medium that is neither a key nor removable stands where the key
    // under the new password would go.
    fs::create_directories(device_ + "/gil.p8.next/inside");
    EXPECT_FALSE(store_.ChangePassword("gil", "pass-g", "pass-g2"));
    EXPECT_NE(store_.LastError().find("key device"), std::string::npos) << store_.LastError();
    EXPECT_EQ(store_.LastError().find("not an error"), std::string::npos) << store_.LastError();
    EXPECT_TRUE(store_.LogOn("gil", "pass-g"));
    EXPECT_TRUE(KeyOpens("gil", "pass-g"));
}

TEST_F(KeyProtectionTest, RegistrationOnADeviceLeavesNoKeyUntilCommittedAndNamesLeftovers) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pass-g", device_), 0) << store_.LastError();
    EXPECT_TRUE(fs::exists(device_ + "/gil.p8"));
    EXPECT_FALSE(fs::exists(device_ + "/gil.p8.next"));

    // A registration killed before its commit leaves only a staged key; the next attempt
    // says which file stands in the way.
    logon::PkeyPtr key = TestRsaKey("hal");
    logon::FolderKeyDevice orphan(device_, "hal", kTestCost);
    ASSERT_TRUE(orphan.StageKey(key.get(), "ph", 2));
    EXPECT_EQ(store_.AddUser("hal", "Hal", "", "pass-h", device_), 0);
    EXPECT_NE(store_.LastError().find(orphan.StagedPath()), std::string::npos) << store_.LastError();
    fs::remove(orphan.StagedPath());
    ASSERT_GT(store_.AddUser("hal", "Hal", "", "pass-h", device_), 0) << store_.LastError();
    EXPECT_TRUE(KeyOpens("hal", "pass-h"));

    // A refused registration writes nothing to the device.
    EXPECT_EQ(store_.AddUser("ivy", "Gil", "", "pass-i", device_), 0);  // key text of gil
    EXPECT_FALSE(fs::exists(device_ + "/ivy.p8"));
    EXPECT_FALSE(fs::exists(device_ + "/ivy.p8.next"));
}

}  // namespace
