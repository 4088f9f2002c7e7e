// Private keys at rest and on a key device: what protects them, and what an interrupted
// registration or password change leaves behind.

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <filesystem>
#include <string>

#include "TestLogon.h"
#include "logon/KeyDevice.h"
#include "logon/LogonDatabase.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

namespace {

// The PBKDF2 iteration count of an encrypted PKCS#8 PEM, read from its PBES2 parameters;
// -1 when the PEM is not PBES2 with PBKDF2.
long PemIterations(const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    std::unique_ptr<X509_SIG, decltype(&X509_SIG_free)> sig(PEM_read_bio_PKCS8(bio.get(), nullptr, nullptr, nullptr),
                                                            X509_SIG_free);
    if (!sig) return -1;
    const X509_ALGOR* alg = nullptr;
    X509_SIG_get0(sig.get(), &alg, nullptr);
    if (OBJ_obj2nid(alg->algorithm) != NID_pbes2) return -1;
    std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), alg->parameter)), PBE2PARAM_free);
    if (!pbe2 || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_pbkdf2) return -1;
    std::unique_ptr<PBKDF2PARAM, decltype(&PBKDF2PARAM_free)> kdf(
        static_cast<PBKDF2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbe2->keyfunc->parameter)),
        PBKDF2PARAM_free);
    return kdf ? ASN1_INTEGER_get(kdf->iter) : -1;
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

TEST(LogonKeysTest, PrivateKeyPemCostsWhatTheVerifierCostsOpensOnlyWithItsPasswordAndOldKeysStillOpen) {
    logon::PkeyPtr key = TestRsaKey("kim");
    EXPECT_EQ(PemIterations(logon::ExportPrivateKeyPem(key.get(), "pw", 2)),
              static_cast<long>(logon::kPasswordIterations));
    std::string fast = logon::ExportPrivateKeyPem(key.get(), "pass\0word", 9, kTestIterations);
    EXPECT_EQ(PemIterations(fast), static_cast<long>(kTestIterations));
    logon::PkeyPtr back = logon::ImportPrivateKeyPem(fast, "pass\0word", 9);
    ASSERT_TRUE(back);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), back.get()), 1);
    EXPECT_FALSE(logon::ImportPrivateKeyPem(fast, "pass\0worD", 9));
    EXPECT_FALSE(logon::ImportPrivateKeyPem(fast, "pass", 4)) << "a password is not cut at a zero byte";

    // A key written the way older versions wrote it (the library's default count).
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    ASSERT_EQ(PEM_write_bio_PKCS8PrivateKey(bio.get(), key.get(), EVP_aes_256_cbc(), "pw", 2, nullptr, nullptr), 1);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    std::string old(data, static_cast<size_t>(n));
    EXPECT_NE(PemIterations(old), static_cast<long>(kTestIterations));
    EXPECT_TRUE(logon::ImportPrivateKeyPem(old, "pw", 2));
}

TEST_F(KeyProtectionTest, PasswordChangeReprotectsStoredAndDeviceKeysAtTheStoresCost) {
    ASSERT_GT(store_.AddUser("ann", "Ann", "", "pa"), 0) << store_.LastError();
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pg", device_), 0) << store_.LastError();
    // The key kept open for ann's session answers only her password, and not after the change below.
    ASSERT_TRUE(store_.LogOn("ann", "pa"));
    EXPECT_TRUE(KeyOpens("ann", "pa"));
    EXPECT_FALSE(KeyOpens("ann", "pA"));
    EXPECT_FALSE(store_.ChangePassword("ann", "wrong", "pa2"));
    ASSERT_TRUE(store_.ChangePassword("ann", "pa", "pa2")) << store_.LastError();
    ASSERT_TRUE(store_.ChangePassword("gil", "pg", "pg2")) << store_.LastError();
    for (const std::string id : {"ann", "gil"}) {
        const std::string old = id == "ann" ? "pa" : "pg";
        EXPECT_FALSE(KeyOpens(id, old)) << id;
        EXPECT_TRUE(KeyOpens(id, old + "2")) << id;
        EXPECT_FALSE(store_.LogOn(id, old)) << id;
        EXPECT_TRUE(store_.LogOn(id, old + "2")) << id;
    }
    EXPECT_FALSE(fs::exists(device_ + "/gil.p8.next"));
    store_.Close();  // the store's own connection is not needed to read the column
    EXPECT_EQ(PemIterations(StoredKeyPem(dir_ / "suite/logon.db", "ann")), static_cast<long>(kTestIterations));
    EXPECT_EQ(PemIterations(ReadFile(device_ + "/gil.p8")), static_cast<long>(kTestIterations));
}

// A change A->B whose store commit went through but whose device step did not leaves
// "<id>.p8" under A and "<id>.p8.next" under B: the key opens with either. A second change B->C
// that is interrupted after staging must still leave a key that opens with B, the store's
// password; a staged key the store never committed is dropped.
TEST(KeyDeviceTest, UnfinishedChangesSettleToTheStoresPassword) {
    TempDir dir;
    logon::FolderKeyDevice device(dir.Path(), "kim", kTestIterations);
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
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "A", device_), 0) << store_.LastError();
    ASSERT_TRUE(store_.ChangePassword("gil", "A", "B")) << store_.LastError();
    // Put the device back as the first change would have left it had it been killed
    // between the store's commit and the device's rename.
    logon::FolderKeyDevice device(device_, "gil", kTestIterations);
    logon::PkeyPtr key = device.OpenKey("B", 1);
    ASSERT_TRUE(key);
    ASSERT_TRUE(device.StoreKey(key.get(), "A", 1));
    ASSERT_TRUE(device.StageKey(key.get(), "B", 1));

    ASSERT_TRUE(store_.ChangePassword("gil", "B", "C")) << store_.LastError();
    EXPECT_TRUE(KeyOpens("gil", "C"));
    EXPECT_FALSE(fs::exists(device.StagedPath()));
    EXPECT_FALSE(device.OpenKey("A", 1));
    EXPECT_FALSE(device.OpenKey("B", 1));
}

TEST_F(KeyProtectionTest, DeviceFailureDuringPasswordChangeSaysSoAndChangesNothing) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pg", device_), 0) << store_.LastError();
    // Something on the medium that is neither a key nor removable stands where the key
    // under the new password would go.
    fs::create_directories(device_ + "/gil.p8.next/inside");
    EXPECT_FALSE(store_.ChangePassword("gil", "pg", "pg2"));
    EXPECT_NE(store_.LastError().find("key device"), std::string::npos) << store_.LastError();
    EXPECT_EQ(store_.LastError().find("not an error"), std::string::npos) << store_.LastError();
    EXPECT_TRUE(store_.LogOn("gil", "pg"));
    EXPECT_TRUE(KeyOpens("gil", "pg"));
}

TEST_F(KeyProtectionTest, RegistrationOnADeviceLeavesNoKeyUntilCommittedAndNamesLeftovers) {
    ASSERT_GT(store_.AddUser("gil", "Gil", "", "pg", device_), 0) << store_.LastError();
    EXPECT_TRUE(fs::exists(device_ + "/gil.p8"));
    EXPECT_FALSE(fs::exists(device_ + "/gil.p8.next"));

    // A registration killed before its commit leaves only a staged key; the next attempt
    // says which file stands in the way.
    logon::PkeyPtr key = TestRsaKey("hal");
    logon::FolderKeyDevice orphan(device_, "hal", kTestIterations);
    ASSERT_TRUE(orphan.StageKey(key.get(), "ph", 2));
    EXPECT_EQ(store_.AddUser("hal", "Hal", "", "ph", device_), 0);
    EXPECT_NE(store_.LastError().find(orphan.StagedPath()), std::string::npos) << store_.LastError();
    fs::remove(orphan.StagedPath());
    ASSERT_GT(store_.AddUser("hal", "Hal", "", "ph", device_), 0) << store_.LastError();
    EXPECT_TRUE(KeyOpens("hal", "ph"));

    // A refused registration writes nothing to the device.
    EXPECT_EQ(store_.AddUser("ivy", "Gil", "", "pi", device_), 0);  // key text of gil
    EXPECT_FALSE(fs::exists(device_ + "/ivy.p8"));
    EXPECT_FALSE(fs::exists(device_ + "/ivy.p8.next"));
}

}  // namespace
