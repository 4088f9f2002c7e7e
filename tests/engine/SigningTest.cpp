#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "engine/EngineBytes.h"
#include "engine/Korvane.h"
#include "engine/Sha0.h"
#include "formats/EncryptFlag.h"

namespace {

constexpr int kKind = 4;

// One logon library with a software-key user "alice" and a key-device user "bob".
class Signing : public LogonHostTest {
protected:
    Signing() {
        logon.AddUser("alice", "Alice", "alice@example.org", "pw-alice");
        logon.AddUser("bob", "Bob", "bob@example.org", "pw-bob", kLogonKeyDevice);
    }

    Bytes Sign(const std::string& user, const std::string& password, int digestId, const std::string& data) {
        EXPECT_TRUE(logon.LogOn(user, password));
        EXPECT_EQ(engine.Evp_SignInit(digestId), 1);
        // Fed in two pieces: a digest must not depend on how its input arrives.
        size_t half = data.size() / 2;
        engine.Evp_SignUpdate(reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned>(half));
        engine.Evp_SignUpdate(reinterpret_cast<const unsigned char*>(data.data()) + half,
                              static_cast<unsigned>(data.size() - half));
        Bytes signature(kLogonSignatureRoom);
        unsigned int length = 0;
        if (engine.Evp_SignFinal(signature.data(), &length, user.c_str(), password.c_str()) != 1) return {};
        signature.resize(length);
        return signature;
    }

    int Verify(const std::string& signer, int digestId, const std::string& data, const Bytes& signature,
               unsigned digestCompare = 0, int kind = kKind) {
        if (engine.Evp_VerifyInit(digestId, signer.c_str(), kind) != 1) return -2;
        engine.Evp_VerifyUpdate(reinterpret_cast<const unsigned char*>(data.data()),
                                static_cast<unsigned>(data.size()));
        return engine.Evp_VerifyFinal(signature.data(), static_cast<unsigned>(signature.size()), signer.c_str(),
                                      static_cast<char>(kind), digestCompare);
    }

    CKorvane engine;
};

Bytes Sha1(const std::string& data) {
    Bytes d(SHA_DIGEST_LENGTH);
    EVP_Digest(data.data(), data.size(), d.data(), nullptr, EVP_sha1(), nullptr);
    return d;
}

}  // namespace

// Software-key signatures under either digest and key-device signatures verify; changed data,
// a cut signature or (for a software key) the other digest do not; a key device that is gone
// signs nothing.
TEST_F(Signing, SignaturesVerifyAndChangedDataDoesNot) {
    const std::string data = RandomBytes(5000, 4);
    for (auto [user, digestId] : {std::pair{"alice", 42}, {"alice", 8}, {"bob", 42}}) {
        SCOPED_TRACE(std::string(user) + " " + std::to_string(digestId));
        const bool device = user == std::string("bob");  // a key device always signs SHA-1
        Bytes signature = Sign(user, "pw-" + std::string(user), digestId, data);
        ASSERT_EQ(signature.size(), 256u);
        EXPECT_EQ(Verify(user, digestId, data, signature), 1);
        EXPECT_TRUE(host.Messages().empty());
        // The signer is the holder of the certificate that checked it, fingerprint as listed.
        std::vector<LogonCertInfo> certs;
        ASSERT_TRUE(logon.ListCerts(certs));
        const auto listed = std::find_if(certs.begin(), certs.end(), [&](auto& c) { return c.record.name == user; });
        ASSERT_NE(listed, certs.end());
        EXPECT_TRUE(engine.SignerProved().Proven());
        EXPECT_EQ(engine.SignerProved().KeyText(), device ? "Bob<bob@example.org>" : "Alice<alice@example.org>");
        EXPECT_EQ(engine.SignerProved().sha256, listed->fingerprint);

        std::string changed = data;
        changed[2500] ^= 1;
        EXPECT_EQ(Verify(user, digestId, changed, signature), 0);
        EXPECT_FALSE(engine.SignerProved().Proven());
        Bytes truncated(signature.begin(), signature.end() - 1);
        EXPECT_EQ(Verify(user, digestId, data, truncated), 0) << "a malformed signature is invalid, not -1";
        if (!device) {
            EXPECT_EQ(Verify(user, digestId == 42 ? 8 : 42, data, signature), 0) << "the digest counts";
        }
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>(device ? 2 : 3, "数字签名验证不正确。"));
        host.Clear();
    }
    logon.SetDevicePresent(false);
    EXPECT_TRUE(Sign("bob", "pw-bob", 42, data).empty());
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.RsaSignFailed"});
}

// The store makes the device of a key-device user through the factory of the engine calling
// it: one whose devices are never present fails the signature, the standard one signs.
TEST_F(Signing, KeyDevicesComeFromTheFactoryOfTheCallingEnginesContext) {
    struct Nowhere : logon::IKeyDeviceFactory {
        mutable int opened = 0;
        std::unique_ptr<logon::IKeyDevice> Open(const std::string& text, const std::string& userId,
                                                const logon::KeyCost& cost) const override {
            ++opened;
            return std::make_unique<logon::FolderKeyDevice>(text + "/nowhere", userId, cost);
        }
        std::string Prepare(const std::string&) const override { return {}; }
    } nowhere;
    const std::string data = "abc";
    ASSERT_FALSE(Sign("bob", "pw-bob", 42, data).empty());
    CKorvane own(EngineContext{.keyDevices = &nowhere});
    unsigned char signature[kLogonSignatureRoom];
    unsigned int length = 0;
    ASSERT_EQ(own.Evp_SignInit(42), 1);
    own.Evp_SignUpdate(reinterpret_cast<const unsigned char*>(data.data()), 3);
    EXPECT_EQ(own.Evp_SignFinal(signature, &length, "bob", "pw-bob"), 0);
    EXPECT_GT(nowhere.opened, 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"RSA数字签名失败。"});
    const int opened = nowhere.opened;
    EXPECT_FALSE(Sign("bob", "pw-bob", 42, data).empty());
    EXPECT_EQ(nowhere.opened, opened);
}

TEST_F(Signing, Sha0SignatureWrapsTheDigestInfoOfItsObjectIdentifier) {
    const std::string data = "abc";
    Bytes signature = Sign("alice", "pw-alice", 42, data);
    ASSERT_FALSE(signature.empty());
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ASSERT_EQ(logon.GetSignerCert("alice", kKind, &key, &cert), 1);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    ASSERT_EQ(EVP_PKEY_verify_recover_init(ctx), 1);
    ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING), 1);
    Bytes recovered(256);
    size_t n = recovered.size();
    ASSERT_EQ(EVP_PKEY_verify_recover(ctx, recovered.data(), &n, signature.data(), signature.size()), 1);
    recovered.resize(n);
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    X509_free(cert);
    const Bytes expected = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e, 0x03, 0x02, 0x12, 0x05,
                            0x00, 0x04, 0x14, 0x01, 0x64, 0xb8, 0xa9, 0x14, 0xcd, 0x2a, 0x5e, 0x74,
                            0xc4, 0xf7, 0xff, 0x08, 0x2c, 0x4d, 0x97, 0xf1, 0xed, 0xf8, 0x80};
    EXPECT_EQ(recovered, expected);
}

TEST_F(Signing, SigningAndVerifyingFailuresAreShownOnce) {
    Bytes signature(kLogonSignatureRoom);
    unsigned length = 0;
    ASSERT_EQ(engine.Evp_SignInit(42), 1);
    EXPECT_EQ(engine.Evp_SignFinal(signature.data(), &length, "alice", "pw-alice"), 0) << "nobody is logged on";
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.LoggedOut"});

    EXPECT_EQ(engine.Evp_SignInit(43), 0) << "an unknown digest id";
    EXPECT_EQ(engine.Evp_SignInit(-1), 0);
    EXPECT_EQ(engine.Evp_VerifyInit(7, "alice", kKind), 0);
}

// A bare digest shows only that the content is intact. It is compared, whole, only for a
// key-device signer in a shared package (kind 8); everywhere else the stored value must be a
// signature. Each refusal has its one message, and nothing is proven.
TEST_F(Signing, BareDigestIsTakenWholeOnlyFromKeyDeviceSharedPackagesAndProvesNoSender) {
    const std::string data = RandomBytes(777, 2);
    engine.m_digestOnly = 1;
    const Bytes digest = Sign("bob", "pw-bob", 42, data);
    EXPECT_EQ(digest, Sha1(data));
    EXPECT_EQ(Verify("bob", 42, data, digest, 1, kKindShared), 1);
    EXPECT_EQ(engine.SignerProved().basis, SignerProof::Basis::kBareDigest);
    EXPECT_FALSE(engine.SignerProved().Proven());
    EXPECT_TRUE(host.Messages().empty());

    const std::string kDiffers = "解密文件与原文件不一致。", kBad = "数字签名验证不正确。";
    Bytes overlong = digest;
    overlong.resize(40, 0);
    struct Case {
        const char* what;
        const char* signer;
        Bytes stored;
        std::string data;
        int kind;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"cut to 1 byte", "bob", Bytes(digest.begin(), digest.begin() + 1), data, kKindShared, kDiffers},
             {"cut to 4 bytes", "bob", Bytes(digest.begin(), digest.begin() + 4), data, kKindShared, kDiffers},
             {"cut to 19 bytes", "bob", Bytes(digest.begin(), digest.begin() + 19), data, kKindShared, kDiffers},
             {"empty", "bob", Bytes{}, data, kKindShared, kDiffers},
             {"overlong", "bob", overlong, data, kKindShared, kDiffers},
             {"changed data", "bob", digest, data + "!", kKindShared, kDiffers},
             {"in an envelope package", "bob", digest, data, kKindEnvelope, kBad},
             {"in a signature file", "bob", digest, data, kKindSignUser, kBad},
             {"of a software-key signer", "alice", digest, data, kKindShared, kBad},
         }) {
        host.Clear();
        EXPECT_EQ(Verify(c.signer, 42, c.data, c.stored, 1, c.kind), 0) << c.what;
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{c.message}) << c.what;
        EXPECT_EQ(engine.SignerProved().basis, SignerProof::Basis::kNone) << c.what;
    }
}
