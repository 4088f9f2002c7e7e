#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "drivers/Crc1B.h"
#include "engine/Crc16.h"
#include "engine/EngineBytes.h"
#include "engine/Korvane.h"
#include "engine/Sha0.h"

namespace {

constexpr int kSoftwareIds[] = {45, 46, 62};

// Runs the frame over `in`; every update must give back exactly what it took and the final
// nothing.
Bytes Through(CKorvane& engine, bool encrypt, int id, const Bytes& key, const Bytes& iv, const Bytes& in,
              const std::vector<size_t>& pieces, bool inPlace = false) {
    std::vector<int> produced, expected(pieces.begin(), pieces.end());
    expected.push_back(0);
    Bytes out = RunFrame(engine, encrypt, id, key, iv, in, pieces, &produced, inPlace);
    EXPECT_EQ(produced, expected);
    return out;
}

// Every way of cutting n bytes into consecutive non-empty updates (n < 16).
std::vector<std::vector<size_t>> AllSplits(size_t n) {
    std::vector<std::vector<size_t>> all;
    if (n == 0) return {{}, {0}, {0, 0}};
    for (unsigned mask = 0; mask < (1u << (n - 1)); ++mask) {
        std::vector<size_t> pieces;
        size_t run = 1;
        for (size_t i = 0; i + 1 < n; ++i) {
            if (mask & (1u << i)) {
                pieces.push_back(run);
                run = 0;
            }
            ++run;
        }
        pieces.push_back(run);
        all.push_back(pieces);
    }
    return all;
}

std::vector<size_t> Chunks(size_t total, size_t chunk) {
    std::vector<size_t> pieces;
    for (size_t at = 0; at < total; at += chunk) pieces.push_back(std::min(chunk, total - at));
    return pieces;
}

// The same cipher straight from OpenSSL (DES from its legacy provider).
Bytes OpenSslOfb(const char* name, const Bytes& key, const Bytes& iv, const Bytes& in) {
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    EXPECT_TRUE(legacy && base);
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 8);
    int n = 0, m = 0;
    EXPECT_EQ(EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv.data()), 1);
    EXPECT_EQ(EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
    EXPECT_EQ(EVP_EncryptFinal_ex(ctx, out.data() + n, &m), 1);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    out.resize(static_cast<size_t>(n + m));
    return out;
}

std::string Sha0Hex(const std::string& text, size_t step, Sha0::Compression compression = Sha0::Compression::kFastest) {
    Sha0 sha(compression);
    for (size_t at = 0; at < text.size(); at += step)
        sha.Update(reinterpret_cast<const unsigned char*>(text.data()) + at, std::min(step, text.size() - at));
    unsigned char d[20];
    sha.Final(d);
    return Hex(d, sizeof d);
}

uint16_t EngineCrc(const std::string& data) {
    CKorvane engine;
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    return engine.CRC_Final();
}

class CipherFrame : public HostTest {
protected:
    CKorvane engine;
    Bytes key = Data(16, 7), iv = Data(8, 8);
};

}  // namespace

// Short inputs in every split, a whole stream block in many update sizes, in place or not.
TEST_F(CipherFrame, RoundTripsHoweverTheStreamIsSplitAndInPlace) {
    const size_t kBlock = 307200;
    for (int id : kSoftwareIds) {
        for (size_t length : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, kBlock}) {
            Bytes plain = Data(length, static_cast<unsigned>(length + 1));
            Bytes whole = Through(engine, true, id, key, iv, plain, {length});
            if (length > 0) {
                EXPECT_NE(whole, plain);
            }
            std::vector<std::vector<size_t>> splits;
            if (length < kBlock)
                splits = AllSplits(length);
            else
                for (size_t chunk : {size_t{1}, size_t{7}, size_t{4096}, kBlock - 1})
                    splits.push_back(Chunks(kBlock, chunk));
            for (const auto& pieces : splits) {
                for (bool inPlace : {false, true}) {
                    SCOPED_TRACE("id " + std::to_string(id) + " length " + std::to_string(length) + " in " +
                                 std::to_string(pieces.size()) + (inPlace ? " in place" : ""));
                    EXPECT_EQ(Through(engine, true, id, key, iv, plain, pieces, inPlace), whole);
                    EXPECT_EQ(Through(engine, false, id, key, iv, whole, pieces, inPlace), plain);
                }
            }
        }
    }
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(CipherFrame, AgreesByteForByteWithOpenSsl) {
    Bytes plain = Data(1000, 11);
    Bytes desKey(key.begin(), key.begin() + 8);
    EXPECT_EQ(Through(engine, true, 45, key, iv, plain, {1000}), OpenSslOfb("DES-OFB", desKey, iv, plain));
    EXPECT_EQ(Through(engine, true, 62, key, iv, plain, {1000}), OpenSslOfb("DES-EDE-OFB", key, iv, plain));
    // Weak and degenerate keys (all zero: K1 = K2) are ciphers like any other.
    Bytes zero(16, 0);
    EXPECT_EQ(Through(engine, true, 45, zero, zero, plain, {1000}),
              OpenSslOfb("DES-OFB", Bytes(8, 0), Bytes(8, 0), plain));
    EXPECT_EQ(Through(engine, true, 62, zero, zero, plain, {1000}),
              OpenSslOfb("DES-EDE-OFB", zero, Bytes(8, 0), plain));
    // IDEA, which OpenSSL lacks: its key and IV both count.
    Bytes base = Through(engine, true, 46, key, iv, plain, {1000});
    Bytes otherIv = iv, otherKey = key;
    otherIv[7] ^= 1;
    otherKey[15] ^= 2;
    EXPECT_NE(Through(engine, true, 46, key, otherIv, plain, {1000}), base);
    EXPECT_NE(Through(engine, true, 46, otherKey, iv, plain, {1000}), base);
}

TEST_F(CipherFrame, UnknownAndCardIdsAreRefusedWithTheirMessages) {
    int n = 7;
    unsigned char buf[16] = {};
    for (int id : {0, -5, 1, 8, 42, 99, 119}) {
        EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), id), 0) << id;
        EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), id), 0) << id;
        EXPECT_EQ(engine.Evp_EncryptUpdate(buf, &n, buf, 8), 0) << "no session after a refused init";
    }
    EXPECT_TRUE(host.Messages().empty()) << "ids below the cards are refused silently";

    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 122), 0);
    EXPECT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 123), 0);
    EXPECT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 100000), 0);
    EXPECT_EQ(host.MessageTexts(),
              (std::vector<std::string>{"对不起, 本版本不支持这种加密算法.", "不支持的加密算法", "不支持的加密算法"}));
}

TEST_F(CipherFrame, CallsOutOfOrderFailWithoutTouchingBuffers) {
    unsigned char buf[8] = {1, 2, 3, 4, 5, 6, 7, 8}, copy[8];
    std::memcpy(copy, buf, 8);
    int n = 5;
    CKorvane fresh;
    EXPECT_EQ(fresh.Evp_EncryptUpdate(buf, &n, buf, 8), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(fresh.Evp_DecryptFinal(buf, &n), 0);
    EXPECT_EQ(std::memcmp(buf, copy, 8), 0);

    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 46), 1);
    EXPECT_EQ(engine.Evp_EncryptUpdate(buf, &n, buf, -1), 0);
    EXPECT_EQ(engine.Evp_EncryptUpdate(nullptr, &n, buf, 8), 0);
    EXPECT_EQ(engine.Evp_EncryptUpdate(buf, nullptr, buf, 8), 0);
    EXPECT_EQ(engine.Evp_EncryptFinalEx(buf, &n), 1);
    EXPECT_EQ(engine.Evp_EncryptFinalEx(buf, &n), 0) << "a finished session is gone";
    EXPECT_EQ(engine.Evp_EncryptInit(nullptr, iv.data(), 46), 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(CipherFrame, EncryptionAndDecryptionKeepSeparateContexts) {
    Bytes a = Data(40, 2), b = Data(40, 3);
    Bytes expectA = Through(engine, true, 46, key, iv, a, {40});
    Bytes expectB = Through(engine, true, 62, key, iv, b, {40});
    // Interleave an IDEA encryption with a triple-DES decryption on one engine.
    Bytes outA(48), outB(48);
    int n = 0;
    ASSERT_EQ(engine.Evp_EncryptInit(key.data(), iv.data(), 46), 1);
    ASSERT_EQ(engine.Evp_EncryptUpdate(outA.data(), &n, a.data(), 20), 1);
    ASSERT_EQ(engine.Evp_DecryptInit(key.data(), iv.data(), 62), 1);
    ASSERT_EQ(engine.Evp_DecryptUpdate(outB.data(), &n, expectB.data(), 40), 1);
    ASSERT_EQ(engine.Evp_EncryptUpdate(outA.data() + 20, &n, a.data() + 20, 20), 1);
    outA.resize(40);
    outB.resize(40);
    EXPECT_EQ(outA, expectA);
    EXPECT_EQ(outB, b);
}

// The published vectors hold for the processor's SHA instructions and the portable code alike.
TEST(Sha0Digest, PublishedVectorsInAnyChunking) {
    const std::string abc = "abc";
    const std::string m448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    for (Sha0::Compression how : {Sha0::Compression::kFastest, Sha0::Compression::kPortable}) {
        for (size_t step : {1, 3, 55, 64, 1000}) {
            EXPECT_EQ(Sha0Hex(abc, step, how), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
            EXPECT_EQ(Sha0Hex(m448, step, how), "d2516ee1acfa5baf33dfc1c471e438449ef134c8");
        }
        EXPECT_EQ(Sha0Hex(std::string(1000000, 'a'), 4096, how), "3232affa48628a26653b5aaa44541fd90d690603");
    }
    // Random bytes over many blocks, in lengths around the block and the padding's edges.
    const Bytes data = Data(70000, 42);
    const std::string text(data.begin(), data.end());
    for (size_t n : {63, 64, 65, 119, 120, 128, 4096, 70000})
        EXPECT_EQ(Sha0Hex(text.substr(0, n), 1000), Sha0Hex(text.substr(0, n), 1000, Sha0::Compression::kPortable))
            << n;
    // Padding boundaries: 55, 56 and 64 bytes differ from their neighbours and are reproducible.
    for (size_t n : {55, 56, 63, 64, 65}) EXPECT_EQ(Sha0Hex(std::string(n, 'x'), 1), Sha0Hex(std::string(n, 'x'), 64));
}

// CRC-16/CCITT with register 0xFFFF gives 0x29B1 over "123456789"; the stored value is its
// complement 0xD64E with the bytes exchanged, so the file holds D6 4E: high byte first. Nothing
// fed (or only lengths of zero and below) gives 0.
TEST(Crc, CheckValueIsTheComplementedRegisterHighByteFirst) {
    uint16_t stored = EngineCrc("123456789");
    EXPECT_EQ(stored, 0x4ED6);
    unsigned char bytes[2];
    std::memcpy(bytes, &stored, 2);
    EXPECT_EQ(bytes[0], 0xD6);
    EXPECT_EQ(bytes[1], 0x4E);

    CKorvane engine;
    engine.CRC_Init();
    engine.CRC_Update(bytes, 0);
    engine.CRC_Update(bytes, -5);
    EXPECT_EQ(engine.CRC_Final(), 0x0000);
}

TEST(Crc, BlockUpdateAgreesWithOneByteStepAcrossSplits) {
    std::string data = RandomBytes(307200 + 13, 7);
    uint16_t expected = 0xFFFF;
    for (unsigned char c : data) expected = CRC1B(expected, c);
    for (size_t split : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{307200}, data.size()}) {
        CKorvane engine;
        engine.CRC_Init();
        const auto* p = reinterpret_cast<const unsigned char*>(data.data());
        engine.CRC_Update(p, static_cast<int>(split));
        engine.CRC_Update(p + split, static_cast<int>(data.size() - split));
        EXPECT_EQ(engine.CRC_Final(), Crc16Final(expected)) << "split at " << split;
    }
}
