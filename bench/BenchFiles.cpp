#include "BenchFiles.h"

#include <gcrypt.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include "Bench.h"
#include "engine/Crc16.h"
#include "engine/Sha0.h"

namespace {
constexpr size_t kBlock = 307200;
}  // namespace

double Seconds(BenchClock::time_point since) {
    return std::chrono::duration<double>(BenchClock::now() - since).count();
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void MakeFile(const std::filesystem::path& path, size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<char> block(kBlock);
    std::ofstream out(path, std::ios::binary);
    for (size_t done = 0; done < size;) {
        for (auto& c : block) c = static_cast<char>(rng());
        size_t n = std::min(kBlock, size - done);
        out.write(block.data(), static_cast<std::streamsize>(n));
        done += n;
    }
}

double FusedBound() {
    gcry_cipher_hd_t hd = nullptr;
    gcry_cipher_open(&hd, GCRY_CIPHER_IDEA, GCRY_CIPHER_MODE_OFB, 0);
    std::vector<unsigned char> key(16, 0x42), iv(8, 0x24), block(kBlock, 0x11), out(kBlock);
    gcry_cipher_setkey(hd, key.data(), key.size());
    gcry_cipher_setiv(hd, iv.data(), iv.size());
    Sha0 digest;
    volatile uint16_t sink = 0;
    double mbps = MeasureMBps(
        [&] {
            digest.Update(block.data(), block.size());
            gcry_cipher_encrypt(hd, out.data(), out.size(), block.data(), block.size());
            sink = Crc16Update(0xFFFF, out.data(), out.size());
        },
        kBlock);
    gcry_cipher_close(hd);
    (void)sink;
    return mbps;
}
