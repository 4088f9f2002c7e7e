#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Korvane.h"

class FieldCipher : public HostTest {
protected:
    CKorvane engine;
};

TEST_F(FieldCipher, KeepsLengthAndRoundTripsInPlaceFromOneByteUpAndKeysTheOldCheckValue) {
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
