// The CRC over whole 307,200-byte blocks, beside the one-byte step it must agree with.

#include <random>
#include <vector>

#include "Bench.h"
#include "drivers/Crc1B.h"
#include "engine/Crc16.h"

namespace {

constexpr size_t kBlock = 307200;

void BenchCrc() {
    std::vector<unsigned char> block(kBlock);
    std::mt19937 rng(1);
    for (auto& b : block) b = static_cast<unsigned char>(rng());
    volatile uint16_t sink = 0;
    double sliced = MeasureMBps([&] { sink = Crc16Update(0xFFFF, block.data(), block.size()); }, kBlock);
    double bytewise = MeasureMBps(
        [&] {
            uint16_t r = 0xFFFF;
            for (unsigned char b : block) r = CRC1B(r, b);
            sink = r;
        },
        kBlock);
    PrintRate("CRC block update (8 bytes a step)", sliced);
    PrintRate("CRC one-byte step", bytewise);
    std::printf("  block update is %.1fx the one-byte step\n", sliced / bytewise);
}

}  // namespace

VARNEX_BENCH("crc", BenchCrc);
