#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "drivers/Crc1B.h"
#include "engine/Crc16.h"
#include "engine/Korvane.h"

namespace {

uint16_t EngineCrc(const std::string& data) {
    CKorvane engine;
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    return engine.CRC_Final();
}

}  // namespace

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
