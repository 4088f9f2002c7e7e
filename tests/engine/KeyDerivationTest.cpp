#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "drivers/Mqk21.h"
#include "engine/EngineBytes.h"
#include "engine/Korvane.h"

namespace {

// Reaches the engine's protected key operations.
class Engine : public CKorvane {
public:
    using CKorvane::DecryptFileName;
    using CKorvane::EncryptFileName;
    using CKorvane::EncryptKey30;
    const unsigned char* FieldKey() const { return m_fieldKey; }

    // The bulk cipher's output for one update with the given key and IV.
    Bytes Encrypt(int id, const Bytes& key, const Bytes& iv, const Bytes& in) {
        Bytes out(in.size() + 8);
        int n = 0, m = 0;
        EXPECT_EQ(Evp_EncryptInit(key.data(), iv.data(), id), 1);
        EXPECT_EQ(Evp_EncryptUpdate(out.data(), &n, in.data(), static_cast<int>(in.size())), 1);
        EXPECT_EQ(Evp_EncryptFinalEx(out.data() + n, &m), 1);
        out.resize(static_cast<size_t>(n + m));
        return out;
    }
};

class KeyDerivation : public HostTest {
protected:
    Engine engine;
};

}  // namespace

TEST_F(KeyDerivation, PasswordKeyIsMd5PaddedWithZeros) {
    char key[100];
    std::memset(key, 'X', sizeof key);
    ASSERT_EQ(engine.GenerateKeyByHash("abc", 3, key, 8), 1);
    EXPECT_EQ(Hex(key, 9),
              "900150983cd24fb0"
              "58")
        << "only 8 bytes written";
    ASSERT_EQ(engine.GenerateKeyByHash("abc", 3, key, 20), 1);
    EXPECT_EQ(Hex(key, 20),
              "900150983cd24fb0d6963f7d28e17f72"
              "00000000");
    ASSERT_EQ(engine.GenerateKeyByHash("abc", 3, key, 99), 1);
    EXPECT_EQ(std::string(key + 16, 83), std::string(83, '\0'));
    EXPECT_EQ(key[99], 'X');
    ASSERT_EQ(engine.GenerateKeyByHash("", 0, key, 16), 1);
    EXPECT_EQ(Hex(key, 16), "d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_EQ(engine.GenerateKeyByHash("abcdef", 3, key, 16), 1) << "the given length counts, not the terminator";
    EXPECT_EQ(Hex(key, 16), "900150983cd24fb0d6963f7d28e17f72");

    std::memset(key, 'X', sizeof key);
    EXPECT_EQ(engine.GenerateKeyByHash("abc", 3, key, 100), 0);
    EXPECT_EQ(engine.GenerateKeyByHash("abc", 3, key, 0), 0);
    EXPECT_EQ(engine.GenerateKeyByHash("abc", -1, key, 16), 0);
    EXPECT_EQ(engine.GenerateKeyByHash(nullptr, 3, key, 16), 0);
    EXPECT_EQ(key[0], 'X');
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(KeyDerivation, RandomKeysHaveTheCipherLengthsAndStayInsideTheirRooms) {
    struct Case {
        int id, keyLength;
    } cases[] = {{45, 8}, {46, 16}, {62, 16}, {120, 16}, {121, 8}, {122, 20}};
    for (const Case& c : cases) {
        char key[20] = {}, iv[8] = {}, key2[20] = {}, iv2[8] = {};
        int kl = -1, il = -1, kl2 = -1, il2 = -1;
        engine.Generate_EncryptKey(c.id, key, &kl, iv, &il);
        engine.Generate_EncryptKey(c.id, key2, &kl2, iv2, &il2);
        EXPECT_EQ(kl, c.keyLength);
        EXPECT_EQ(il, 8);
        EXPECT_NE(std::memcmp(key, key2, static_cast<size_t>(kl)), 0) << "fresh keys each time";
        EXPECT_NE(std::memcmp(iv, iv2, 8), 0);
    }
    // Unknown ids keep the caller's lengths; lengths beyond the rooms are never filled.
    char key[24], iv[12];
    std::memset(key, 'k', sizeof key);
    std::memset(iv, 'v', sizeof iv);
    int kl = 4, il = 2;
    engine.Generate_EncryptKey(7, key, &kl, iv, &il);
    EXPECT_EQ(kl, 4);
    EXPECT_EQ(il, 2);
    EXPECT_EQ(std::string(key + 4, 20), std::string(20, 'k'));
    EXPECT_EQ(std::string(iv + 2, 10), std::string(10, 'v'));
}

TEST_F(KeyDerivation, CheckValueEnciphersTheKeyUnderCopiesOfItselfUpTo1000Bytes) {
    // 16 bytes: the cipher reads the key and the first 8 bytes as IV from the copies.
    Bytes key = Data(16, 3);
    Bytes out(16 + 8);
    int n = 0;
    ASSERT_EQ(engine.EncryptKey30(46, key.data(), 16, out.data(), &n), 1);
    ASSERT_EQ(n, 16);
    out.resize(16);
    EXPECT_EQ(out, engine.Encrypt(46, key, Bytes(key.begin(), key.begin() + 8), key));

    // 5 bytes: copies run on into the cipher's key and IV.
    Bytes shortKey = Data(5, 4);
    Bytes copies;
    for (int i = 0; i < 4; ++i) copies.insert(copies.end(), shortKey.begin(), shortKey.end());
    Bytes shortOut(5 + 8);
    ASSERT_EQ(engine.EncryptKey30(62, shortKey.data(), 5, shortOut.data(), &n), 1);
    shortOut.resize(static_cast<size_t>(n));
    EXPECT_EQ(shortOut, engine.Encrypt(62, Bytes(copies.begin(), copies.begin() + 16),
                                       Bytes(copies.begin(), copies.begin() + 8), shortKey));

    // Long keys are taken up to 1,000 bytes; impossible ones are refused.
    for (int length : {500, 999, 1000}) {
        Bytes longKey = Data(static_cast<size_t>(length), 5);
        Bytes longOut(static_cast<size_t>(length) + 8);
        ASSERT_EQ(engine.EncryptKey30(45, longKey.data(), length, longOut.data(), &n), 1) << length;
        EXPECT_EQ(n, length);
        longOut.resize(static_cast<size_t>(length));
        EXPECT_EQ(longOut, engine.Encrypt(45, longKey, longKey, longKey));
    }
    key = Data(1001, 6);
    out.resize(1010);
    n = 77;
    EXPECT_EQ(engine.EncryptKey30(46, key.data(), 1001, out.data(), &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(engine.EncryptKey30(46, key.data(), 0, out.data(), &n), 0) << "an empty key would never fill the copies";
    EXPECT_EQ(engine.EncryptKey30(46, key.data(), -3, out.data(), &n), 0);
    EXPECT_EQ(engine.EncryptKey30(99, key.data(), 16, out.data(), &n), 0);
    EXPECT_EQ(engine.EncryptKey30(122, key.data(), 16, out.data(), &n), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.CipherNotInVersion"});
}

TEST_F(KeyDerivation, NamesAreEncipheredUnderTheCallersKeyOverTheFieldKey) {
    const std::string name = "Quarterly report 2024.xlsx";
    const int n = static_cast<int>(name.size());
    Bytes plain(name.begin(), name.end());
    Bytes key8 = Data(8, 1);

    Bytes cipher(plain.size());
    ASSERT_EQ(engine.EncryptFileName(key8.data(), 8, plain.data(), n, cipher.data()), 1);
    // The driver key: the 8 key bytes, then the field key's last 8.
    unsigned char driverKey[16];
    std::memcpy(driverKey, key8.data(), 8);
    std::memcpy(driverKey + 8, engine.FieldKey() + 8, 8);
    intptr_t h = 0;
    Bytes expected(plain.size());
    int produced = 0;
    ASSERT_EQ(Mqk21EncryptInit(2, 1, driverKey, 16, &h), 0);
    ASSERT_EQ(Mqk21EncryptUpdate(h, plain.data(), n, expected.data(), &produced), 0);
    Mqk21EncryptFinal(h);
    EXPECT_EQ(cipher, expected);

    Bytes inPlace = cipher;
    ASSERT_EQ(engine.DecryptFileName(key8.data(), 8, inPlace.data(), n, inPlace.data()), 1);
    EXPECT_EQ(inPlace, plain);

    Bytes key20 = Data(20, 2), key20b = key20;
    key20b[19] ^= 0xFF;
    Bytes a(plain.size()), b(plain.size());
    ASSERT_EQ(engine.EncryptFileName(key20.data(), 20, plain.data(), n, a.data()), 1);
    ASSERT_EQ(engine.EncryptFileName(key20b.data(), 16, plain.data(), n, b.data()), 1);
    EXPECT_EQ(a, b) << "only the first 16 key bytes count";
    Bytes other(plain.size());
    ASSERT_EQ(engine.EncryptFileName(key8.data(), 7, plain.data(), n, other.data()), 1);
    EXPECT_NE(other, cipher);
    EXPECT_TRUE(host.Messages().empty());

    Bytes untouched = plain;
    EXPECT_EQ(engine.EncryptFileName(key8.data(), 8, untouched.data(), -1, untouched.data()), 0);
    EXPECT_EQ(untouched, plain);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.FieldEncryptFailed"});
}

TEST_F(KeyDerivation, FieldCipherKeepsLengthAndRoundTripsInPlaceFromOneByteUpAndKeysTheOldCheckValue) {
    for (int length : {1, 2, 4, 14, 260}) {
        std::string plain = RandomBytes(static_cast<size_t>(length), static_cast<unsigned>(length));
        std::string field = plain;
        ASSERT_EQ(engine.SerialEncrypt(field.data(), length, field.data()), 1);
        EXPECT_NE(field, plain);
        std::string again = plain;
        engine.SerialEncrypt(again.data(), length, again.data());
        EXPECT_EQ(again, field) << "enciphering depends only on key and content";
        ASSERT_EQ(engine.SerialDecrypt(field.data(), length, field.data()), 1);
        EXPECT_EQ(field, plain);
    }

    // The check value of old packages is keyed by its input.
    std::string a = "0123456789abcdef", b = "0123456789abcdeX";
    std::string outA(16, '\0'), outB(16, '\0');
    ASSERT_EQ(engine.SerialEncryptKey(a.data(), 16, outA.data()), 1);
    ASSERT_EQ(engine.SerialEncryptKey(b.data(), 16, outB.data()), 1);
    EXPECT_NE(outA.substr(0, 15), outB.substr(0, 15)) << "a different key changes every byte";
    std::string shortKey = "abc", outShort(3, '\0');
    EXPECT_EQ(engine.SerialEncryptKey(shortKey.data(), 3, outShort.data()), 1);
    EXPECT_TRUE(host.Messages().empty());
}
