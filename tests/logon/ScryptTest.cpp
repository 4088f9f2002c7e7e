// The password derivation: published known answers, the same bytes and the same refusals as
// OpenSSL's scrypt, and private keys sealed by OpenSSL opened by ours.

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "logon/LogonKeys.h"
#include "logon/Scrypt.h"

namespace {

using logon::ScryptCore;
using logon::ScryptThreads;

std::vector<unsigned char> Unhex(const std::string& hex) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<unsigned char> Derive(const std::string& password, const std::vector<unsigned char>& salt, uint64_t n,
                                  uint32_t r, uint32_t p, size_t length, ScryptCore core,
                                  ScryptThreads threads = ScryptThreads::kTwoWhereFree) {
    std::vector<unsigned char> out(length);
    if (!logon::ScryptDerive(password.data(), password.size(), salt.data(), salt.size(), n, r, p, out.data(),
                             out.size(), core, threads))
        out.clear();
    return out;
}

TEST(ScryptTest, PublishedVectorsOnEveryCore) {
    struct Vector {
        const char* password;
        const char* salt;
        uint64_t n;
        uint32_t r, p;
        const char* hex;
    };
    const Vector vectors[] = {
        {"", "", 16, 1, 1,
         "77d6576238657b203b19ca42c18a0497f16b4844e3074ae8dfdffa3fede21442"
         "fcd0069ded0948f8326a753a0fc81f17e8d3e0fb2e0d3628cf35e20c38d18906"},
        {"password", "NaCl", 1024, 8, 16,
         "fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b373162"
         "2eaf30d92e22a3886ff109279d9830dac727afb94a83ee6d8360cbdfa2cc0640"},
        {"pleaseletmein", "SodiumChloride", 16384, 8, 1,
         "7023bdcb3afd7348461c06cd81fd38ebfda8fbba904f8e3ea9b543f6545da1f2"
         "d5432955613f0fcf62d49705242a9af9e61e85dc0d651e40dfcf017b45575887"},
    };
    for (const Vector& v : vectors) {
        const std::string salt = v.salt;
        for (ScryptCore core : {ScryptCore::kFastest, ScryptCore::kAvx2, ScryptCore::kPortable}) {
            EXPECT_EQ(Derive(v.password, {salt.begin(), salt.end()}, v.n, v.r, v.p, 64, core), Unhex(v.hex))
                << v.password << " N=" << v.n << " core " << static_cast<int>(core);
        }
    }
}

// Random passwords (zero bytes included) and salts at the edges of every parameter, and the
// parameters either side of each bound: ours answers as OpenSSL does, byte for byte.
TEST(ScryptTest, SameBytesAndRefusalsAsOpenSsl) {
    struct Case {
        uint64_t n;
        uint32_t r, p;
        size_t length;
    };
    const Case cases[] = {
        {2, 1, 1, 32},        {4, 1, 1, 1},       {16, 1, 3, 64},     {1024, 1, 1, 200},
        {256, 3, 2, 33},      {8, 16, 1, 97},     {32, 1, 2, 32},     {128, 2, 4, 32},
        {64, 2, 5, 48},       {16, 3, 6, 20},     {16384, 8, 5, 32},  {16384, 8, 1, 32},
        {32768, 1, 1, 16},    {65536, 1, 1, 16},  {1, 1, 1, 16},      {3, 1, 1, 16},
        {0, 1, 1, 16},        {16, 0, 1, 16},     {16, 1, 0, 16},     {1u << 17, 1, 1, 16},
        {1u << 18, 1, 1, 16}, {2, 1, 262141, 16}, {2, 1, 262142, 16}, {2, 8, (1u << 27) - 1, 16},
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        std::string password(rng() % 40, '\0');
        std::vector<unsigned char> salt(rng() % 40);
        for (char& b : password) b = static_cast<char>(rng());
        for (unsigned char& b : salt) b = static_cast<unsigned char>(rng());
        const bool allowed = EVP_PBE_scrypt(nullptr, 0, nullptr, 0, c.n, c.r, c.p, 0, nullptr, 0) == 1;
        EXPECT_EQ(logon::ScryptCostAllowed(c.n, c.r, c.p), allowed) << "N=" << c.n << " r=" << c.r << " p=" << c.p;
        std::vector<unsigned char> expected;
        if (allowed && c.p < 1000) {
            expected.resize(c.length);
            ASSERT_EQ(EVP_PBE_scrypt(password.data(), password.size(), salt.data(), salt.size(), c.n, c.r, c.p, 0,
                                     expected.data(), expected.size()),
                      1);
        }
        if (!allowed || c.p < 1000) {
            for (ScryptCore core : {ScryptCore::kFastest, ScryptCore::kAvx2, ScryptCore::kPortable}) {
                for (ScryptThreads threads : {ScryptThreads::kTwoWhereFree, ScryptThreads::kOne}) {
                    EXPECT_EQ(Derive(password, salt, c.n, c.r, c.p, c.length, core, threads), expected)
                        << "N=" << c.n << " r=" << c.r << " p=" << c.p << " core " << static_cast<int>(core)
                        << " threads " << static_cast<int>(threads);
                }
            }
        }
    }
}

// A key sealed as the store seals it (by OpenSSL) opens through our derivation only under its
// password, and a verifier we make checks under OpenSSL's scrypt.
TEST(ScryptTest, SealedKeysOpenUnderTheirPasswordOnly) {
    logon::PkeyPtr key = TestRsaKey("kim");
    const std::string password("pa\0ss", 5);
    const std::string pem = logon::ExportPrivateKeyPem(key.get(), password.data(), password.size(), kTestCost);
    logon::PkeyPtr ours = logon::ImportPrivateKeyPem(pem, password.data(), password.size());
    ASSERT_TRUE(ours);
    EXPECT_EQ(EVP_PKEY_eq(key.get(), ours.get()), 1);
    EXPECT_FALSE(logon::ImportPrivateKeyPem(pem, "pa\0sS", 5));
    EXPECT_FALSE(logon::ImportPrivateKeyPem(pem, "", 0));

    const logon::PasswordVerifier v = logon::MakePasswordVerifier(password.data(), password.size(), kTestCost);
    std::vector<unsigned char> check(v.hash.size());
    ASSERT_EQ(EVP_PBE_scrypt(password.data(), password.size(), v.salt.data(), v.salt.size(), v.cost.n, v.cost.r,
                             v.cost.p, 0, check.data(), check.size()),
              1);
    EXPECT_EQ(check, v.hash);
}

// A sealed key as PEM again after alter has changed its scrypt parameters or its sealed bytes.
std::string Altered(const std::string& pem, const std::function<void(SCRYPT_PARAMS*, ASN1_OCTET_STRING*)>& alter) {
    std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
    std::unique_ptr<X509_SIG, decltype(&X509_SIG_free)> sig(PEM_read_bio_PKCS8(in.get(), nullptr, nullptr, nullptr),
                                                            X509_SIG_free);
    X509_ALGOR* alg = nullptr;
    ASN1_OCTET_STRING* sealed = nullptr;
    X509_SIG_getm(sig.get(), &alg, &sealed);
    std::unique_ptr<PBE2PARAM, decltype(&PBE2PARAM_free)> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), alg->parameter)), PBE2PARAM_free);
    std::unique_ptr<SCRYPT_PARAMS, decltype(&SCRYPT_PARAMS_free)> params(
        static_cast<SCRYPT_PARAMS*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), pbe2->keyfunc->parameter)),
        SCRYPT_PARAMS_free);
    alter(params.get(), sealed);
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    if (!ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), params.get(), &pbe2->keyfunc->parameter) ||
        !ASN1_TYPE_pack_sequence(ASN1_ITEM_rptr(PBE2PARAM), pbe2.get(), &alg->parameter) ||
        PEM_write_bio_PKCS8(out.get(), sig.get()) != 1)
        return {};
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

// Seals the fast path does not take still open through OpenSSL; parameters beyond the bound and
// damaged seals are refused (a stored cost beyond the bound before any memory is taken).
TEST(ScryptTest, OtherSealsOpenAsBeforeAndBadOnesAreRefused) {
    logon::PkeyPtr key = TestRsaKey("kim");
    const std::string pem = logon::ExportPrivateKeyPem(key.get(), "pw", 2, kTestCost);
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, decltype(&PKCS8_PRIV_KEY_INFO_free)> info(EVP_PKEY2PKCS8(key.get()),
                                                                                   PKCS8_PRIV_KEY_INFO_free);
    std::unique_ptr<X509_SIG, decltype(&X509_SIG_free)> aes128(
        PKCS8_set0_pbe("pw", 2, info.get(), PKCS5_pbe2_set_scrypt(EVP_aes_128_cbc(), nullptr, 16, nullptr, 16, 8, 1)),
        X509_SIG_free);
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    ASSERT_EQ(PEM_write_bio_PKCS8(out.get(), aes128.get()), 1);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);

    struct Case {
        const char* what;
        std::string pem;
        bool opens;
    };
    const Case cases[] = {
        {"AES-128 under scrypt", std::string(data, static_cast<size_t>(length)), true},
        {"r raised so the table would take 256 MiB",
         Altered(pem,
                 [](SCRYPT_PARAMS* p, ASN1_OCTET_STRING*) {
                     ASN1_INTEGER_set(p->costParameter, 1 << 14);
                     ASN1_INTEGER_set(p->blockSize, 127);
                 }),
         false},
        {"a stated key length of 16",
         Altered(pem,
                 [](SCRYPT_PARAMS* p, ASN1_OCTET_STRING*) {
                     p->keyLength = ASN1_INTEGER_new();
                     ASN1_INTEGER_set(p->keyLength, 16);
                 }),
         false},
        {"the sealed key one block short",
         Altered(pem,
                 [](SCRYPT_PARAMS*, ASN1_OCTET_STRING* sealed) {
                     ASN1_STRING_set(sealed, ASN1_STRING_get0_data(sealed), ASN1_STRING_length(sealed) - 16);
                 }),
         false},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.pem.empty()) << c.what;
        logon::PkeyPtr opened = logon::ImportPrivateKeyPem(c.pem, "pw", 2);
        EXPECT_EQ(opened != nullptr, c.opens) << c.what;
        if (opened) {
            EXPECT_EQ(EVP_PKEY_eq(key.get(), opened.get()), 1) << c.what;
        }
    }
}

}  // namespace
