#include "logon/Scrypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#ifdef __x86_64__
#include <immintrin.h>
#endif

namespace logon {
namespace {

constexpr size_t kBlockBytes = 64;  // one Salsa20/8 block; a scrypt block is 2r of them
constexpr uint64_t kMaxRp = (uint64_t{1} << 30) - 1;

// Wiped and unmapped together. A table is megabytes, touched once in order and then at
// random: mapped in huge pages where the system offers them, it costs a few page faults and
// TLB misses instead of thousands, which on a virtual machine is much of a derivation's time.
constexpr size_t kHugePage = size_t{2} << 20;

struct WipeUnmap {
    size_t size;
    void operator()(unsigned char* p) const {
        OPENSSL_cleanse(p, size);
        munmap(p, size);
    }
};
using WipedBuffer = std::unique_ptr<unsigned char[], WipeUnmap>;

WipedBuffer Allocate(size_t size) {
    const size_t align = size >= kHugePage ? kHugePage : 0;
    const size_t rounded = align ? (size + align - 1) / align * align : size;
    void* mapped = mmap(nullptr, rounded + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return WipedBuffer(nullptr, WipeUnmap{0});
    auto* start = static_cast<unsigned char*>(mapped);
    if (align == 0) return WipedBuffer(start, WipeUnmap{rounded});
    // Keep the part that starts on a huge-page boundary.
    const size_t head = (align - reinterpret_cast<uintptr_t>(start) % align) % align;
    if (head > 0) munmap(start, head);
    munmap(start + head + rounded, align - head);
#ifdef MADV_HUGEPAGE
    madvise(start + head, rounded, MADV_HUGEPAGE);
#endif
    return WipedBuffer(start + head, WipeUnmap{rounded});
}

inline uint32_t LoadLe32(const unsigned char* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline void StoreLe32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// ---- Portable mixing, on words in their natural order.

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void Salsa8(uint32_t b[16]) {
    uint32_t x[16];
    std::memcpy(x, b, sizeof x);
    for (int i = 0; i < 8; i += 2) {
        // Columns, then rows.
        x[4] ^= Rotl(x[0] + x[12], 7), x[8] ^= Rotl(x[4] + x[0], 9);
        x[12] ^= Rotl(x[8] + x[4], 13), x[0] ^= Rotl(x[12] + x[8], 18);
        x[9] ^= Rotl(x[5] + x[1], 7), x[13] ^= Rotl(x[9] + x[5], 9);
        x[1] ^= Rotl(x[13] + x[9], 13), x[5] ^= Rotl(x[1] + x[13], 18);
        x[14] ^= Rotl(x[10] + x[6], 7), x[2] ^= Rotl(x[14] + x[10], 9);
        x[6] ^= Rotl(x[2] + x[14], 13), x[10] ^= Rotl(x[6] + x[2], 18);
        x[3] ^= Rotl(x[15] + x[11], 7), x[7] ^= Rotl(x[3] + x[15], 9);
        x[11] ^= Rotl(x[7] + x[3], 13), x[15] ^= Rotl(x[11] + x[7], 18);
        x[1] ^= Rotl(x[0] + x[3], 7), x[2] ^= Rotl(x[1] + x[0], 9);
        x[3] ^= Rotl(x[2] + x[1], 13), x[0] ^= Rotl(x[3] + x[2], 18);
        x[6] ^= Rotl(x[5] + x[4], 7), x[7] ^= Rotl(x[6] + x[5], 9);
        x[4] ^= Rotl(x[7] + x[6], 13), x[5] ^= Rotl(x[4] + x[7], 18);
        x[11] ^= Rotl(x[10] + x[9], 7), x[8] ^= Rotl(x[11] + x[10], 9);
        x[9] ^= Rotl(x[8] + x[11], 13), x[10] ^= Rotl(x[9] + x[8], 18);
        x[12] ^= Rotl(x[15] + x[14], 7), x[13] ^= Rotl(x[12] + x[15], 9);
        x[14] ^= Rotl(x[13] + x[12], 13), x[15] ^= Rotl(x[14] + x[13], 18);
    }
    for (int i = 0; i < 16; ++i) b[i] += x[i];
}

// out = BlockMix(a ^ b), b null for plain a; out never overlaps a or b. Blocks of 16 words.
void BlockMixPortable(const uint32_t* a, const uint32_t* b, uint32_t* out, size_t r) {
    uint32_t x[16];
    for (int k = 0; k < 16; ++k) x[k] = a[(2 * r - 1) * 16 + k] ^ (b ? b[(2 * r - 1) * 16 + k] : 0);
    for (size_t i = 0; i < 2 * r; ++i) {
        for (int k = 0; k < 16; ++k) x[k] ^= a[i * 16 + k] ^ (b ? b[i * 16 + k] : 0);
        Salsa8(x);
        // Even blocks to the first half, odd ones to the second.
        std::memcpy(out + ((i & 1) ? r + i / 2 : i / 2) * 16, x, sizeof x);
    }
}

// One lane's ROMix over 128 r bytes at lane; v holds N blocks, xy two.
void RoMixPortable(unsigned char* lane, size_t r, uint64_t n, uint32_t* v, uint32_t* xy) {
    const size_t words = 32 * r;
    uint32_t* x = xy;
    uint32_t* y = xy + words;
    for (size_t k = 0; k < words; ++k) v[k] = LoadLe32(lane + 4 * k);
    for (uint64_t i = 0; i + 1 < n; ++i) BlockMixPortable(v + i * words, nullptr, v + (i + 1) * words, r);
    BlockMixPortable(v + (n - 1) * words, nullptr, x, r);
    for (uint64_t i = 0; i < n; ++i) {
        // N is at most 2^18 (the memory cap), so the low word of Integerify is all it needs.
        const uint64_t j = x[(2 * r - 1) * 16] & (n - 1);
        BlockMixPortable(x, v + j * words, y, r);
        std::swap(x, y);
    }
    for (size_t k = 0; k < words; ++k) StoreLe32(lane + 4 * k, x[k]);
}

#ifdef __x86_64__

// ---- AVX2 mixing. A block's sixteen words are held as four diagonals, (x0 x5 x10 x15),
// (x4 x9 x14 x3), (x8 x13 x2 x7), (x12 x1 x6 x11), so that each step of a column round works
// on all four columns at once; a lane shuffle turns the diagonals to serve the row round and
// back. Blocks stay in this order from the lane's first load to its last store.
//
// One Salsa20/8 is a chain of dependent steps that leaves most of the processor idle (on one
// lane, SSE2 registers lose to the scalar code above, which works four columns side by side),
// so lanes are mixed together: two in each 256-bit register, one per half, and two registers'
// worth of steps interleaved. Each lane keeps its own table, as its indices differ.

constexpr int kDiagonal[16] = {0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11};

// A lane's bytes to blocks of diagonals, and back.
void LoadLane(const unsigned char* lane, size_t r, __m128i* blocks) {
    auto* words = reinterpret_cast<uint32_t*>(blocks);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) words[block * 16 + k] = LoadLe32(lane + block * kBlockBytes + 4 * kDiagonal[k]);
    }
}

void StoreLane(const __m128i* blocks, size_t r, unsigned char* lane) {
    const auto* words = reinterpret_cast<const uint32_t*>(blocks);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) StoreLe32(lane + block * kBlockBytes + 4 * kDiagonal[k], words[block * 16 + k]);
    }
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Rotl(__m256i x, int n) {
    return _mm256_or_si256(_mm256_slli_epi32(x, n), _mm256_srli_epi32(x, 32 - n));
}

[[gnu::target("avx2"), gnu::always_inline]] inline void Step(__m256i& target, __m256i a, __m256i b, int n) {
    target = _mm256_xor_si256(target, Rotl(_mm256_add_epi32(a, b), n));
}

template <size_t kPairs>
[[gnu::target("avx2"), gnu::always_inline]] inline void Salsa8(__m256i (&x)[kPairs][4]) {
    __m256i y[kPairs][4];
    for (size_t c = 0; c < kPairs; ++c) {
        for (int k = 0; k < 4; ++k) y[c][k] = x[c][k];
    }
    for (int i = 0; i < 8; i += 2) {
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][1], x[c][0], x[c][3], 7);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][2], x[c][1], x[c][0], 9);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][3], x[c][2], x[c][1], 13);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][0], x[c][3], x[c][2], 18);
        for (size_t c = 0; c < kPairs; ++c) {
            x[c][1] = _mm256_shuffle_epi32(x[c][1], 0x93);
            x[c][2] = _mm256_shuffle_epi32(x[c][2], 0x4E);
            x[c][3] = _mm256_shuffle_epi32(x[c][3], 0x39);
        }
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][3], x[c][0], x[c][1], 7);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][2], x[c][3], x[c][0], 9);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][1], x[c][2], x[c][3], 13);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][0], x[c][1], x[c][2], 18);
        for (size_t c = 0; c < kPairs; ++c) {
            x[c][1] = _mm256_shuffle_epi32(x[c][1], 0x39);
            x[c][2] = _mm256_shuffle_epi32(x[c][2], 0x4E);
            x[c][3] = _mm256_shuffle_epi32(x[c][3], 0x93);
        }
    }
    for (size_t c = 0; c < kPairs; ++c) {
        for (int k = 0; k < 4; ++k) x[c][k] = _mm256_add_epi32(x[c][k], y[c][k]);
    }
}

// Vector k of two lanes' blocks, side by side.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Pair(const __m128i* low, const __m128i* high, size_t k) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_load_si128(low + k)), _mm_load_si128(high + k), 1);
}

// As BlockMixSse2 for kPairs pairs of lanes: a holds each pair's 8r registers in turn, out
// likewise; b, when kXor, the 2 kPairs lanes' table blocks.
template <size_t kPairs, bool kXor>
[[gnu::target("avx2"), gnu::always_inline]] inline void BlockMixAvx2(const __m256i* a, const __m128i* const* b,
                                                                     __m256i* out, size_t r) {
    const size_t per = 8 * r, last = (2 * r - 1) * 4;
    __m256i x[kPairs][4];
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < 4; ++k) {
            x[c][k] = a[c * per + last + k];
            if constexpr (kXor) x[c][k] = _mm256_xor_si256(x[c][k], Pair(b[2 * c], b[2 * c + 1], last + k));
        }
    }
    for (size_t i = 0; i < 2 * r; ++i) {
        for (size_t c = 0; c < kPairs; ++c) {
            for (size_t k = 0; k < 4; ++k) {
                x[c][k] = _mm256_xor_si256(x[c][k], a[c * per + 4 * i + k]);
                if constexpr (kXor) x[c][k] = _mm256_xor_si256(x[c][k], Pair(b[2 * c], b[2 * c + 1], 4 * i + k));
            }
        }
        Salsa8<kPairs>(x);
        const size_t o = 4 * ((i & 1) ? r + i / 2 : i / 2);
        for (size_t c = 0; c < kPairs; ++c) {
            for (size_t k = 0; k < 4; ++k) out[c * per + o + k] = x[c][k];
        }
    }
}

// ROMix of 2 kPairs lanes at once; lane l has its table at v[l] (N blocks); xy holds two
// blocks per lane.
template <size_t kPairs>
[[gnu::target("avx2")]] void RoMixAvx2(unsigned char* const* lanes, size_t r, uint64_t n, __m128i* const* v,
                                       __m256i* xy) {
    constexpr size_t kLanes = 2 * kPairs;
    const size_t vectors = 8 * r, per = kPairs * vectors;
    __m256i* x = xy;
    __m256i* y = xy + per;
    for (size_t l = 0; l < kLanes; ++l) LoadLane(lanes[l], r, v[l]);
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < vectors; ++k) x[c * vectors + k] = Pair(v[2 * c], v[2 * c + 1], k);
    }
    for (uint64_t i = 0; i < n; ++i) {
        if (i > 0) {
            for (size_t c = 0; c < kPairs; ++c) {
                __m128i* low = v[2 * c] + i * vectors;
                __m128i* high = v[2 * c + 1] + i * vectors;
                for (size_t k = 0; k < vectors; ++k) {
                    _mm_store_si128(low + k, _mm256_castsi256_si128(x[c * vectors + k]));
                    _mm_store_si128(high + k, _mm256_extracti128_si256(x[c * vectors + k], 1));
                }
            }
        }
        BlockMixAvx2<kPairs, false>(x, nullptr, y, r);
        std::swap(x, y);
    }
    const __m128i* blocks[kLanes];
    for (uint64_t i = 0; i < n; ++i) {
        for (size_t c = 0; c < kPairs; ++c) {
            const __m256i last = x[c * vectors + (2 * r - 1) * 4];
            const uint64_t j[2] = {static_cast<uint32_t>(_mm256_extract_epi32(last, 0)) & (n - 1),
                                   static_cast<uint32_t>(_mm256_extract_epi32(last, 4)) & (n - 1)};
            for (size_t h = 0; h < 2; ++h) {
                blocks[2 * c + h] = v[2 * c + h] + j[h] * vectors;
                // Ask for the whole block now; it is read a line at a time, in order.
                for (size_t line = 0; line < vectors; line += 4) {
                    _mm_prefetch(reinterpret_cast<const char*>(blocks[2 * c + h] + line), _MM_HINT_T0);
                }
            }
        }
        BlockMixAvx2<kPairs, true>(x, blocks, y, r);
        std::swap(x, y);
    }
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < vectors; ++k) {
            _mm_store_si128(v[2 * c] + k, _mm256_castsi256_si128(x[c * vectors + k]));
            _mm_store_si128(v[2 * c + 1] + k, _mm256_extracti128_si256(x[c * vectors + k], 1));
        }
        StoreLane(v[2 * c], r, lanes[2 * c]);
        StoreLane(v[2 * c + 1], r, lanes[2 * c + 1]);
    }
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif

// Lanes mixed side by side take a table each: four at kKeyCost take 64 MiB. Larger tables,
// which only keys from elsewhere carry, are mixed fewer at a time.
constexpr uint64_t kSideBySideMemory = uint64_t{80} << 20;

size_t LanesAtOnce(uint64_t n, size_t laneBytes, uint32_t p, ScryptCore core) {
#ifdef __x86_64__
    if (core == ScryptCore::kFastest && HasAvx2()) {
        for (size_t wide : {4, 2}) {
            if (p >= wide && wide * (n + 2) * laneBytes <= kSideBySideMemory) return wide;
        }
    }
#endif
    (void)n, (void)laneBytes, (void)p, (void)core;
    return 1;
}

// ROMix of count lanes (4, 2 or 1) from first on; tables holds a table of N blocks for each,
// mixing two blocks for each.
void MixLanes(unsigned char* first, size_t count, size_t r, uint64_t n, unsigned char* tables, unsigned char* mixing) {
#ifdef __x86_64__
    if (count > 1) {
        unsigned char* lanes[4];
        __m128i* v[4];
        for (size_t l = 0; l < count; ++l) {
            lanes[l] = first + 128 * r * l;
            v[l] = reinterpret_cast<__m128i*>(tables + 128 * r * n * l);
        }
        if (count == 4) RoMixAvx2<2>(lanes, r, n, v, reinterpret_cast<__m256i*>(mixing));
        if (count == 2) RoMixAvx2<1>(lanes, r, n, v, reinterpret_cast<__m256i*>(mixing));
        return;
    }
#endif
    (void)count;
    RoMixPortable(first, r, n, reinterpret_cast<uint32_t*>(tables), reinterpret_cast<uint32_t*>(mixing));
}

}  // namespace

bool ScryptCostAllowed(uint64_t n, uint32_t r, uint32_t p) {
    if (r == 0 || p == 0 || n < 2 || (n & (n - 1)) != 0) return false;
    if (p > kMaxRp / r) return false;
    if (16 * uint64_t{r} < 64 && n >= (uint64_t{1} << (16 * r))) return false;
    // Both terms are small once r * p < 2^30 and N is bounded by the cap below.
    const uint64_t lanes = uint64_t{128} * r * p;
    if (n + 2 > kScryptMaxMemory / (uint64_t{128} * r)) return false;
    return lanes + uint64_t{128} * r * (n + 2) <= kScryptMaxMemory;
}

bool ScryptDerive(const char* password, size_t length, const unsigned char* salt, size_t saltLength, uint64_t n,
                  uint32_t r, uint32_t p, unsigned char* out, size_t outLength, ScryptCore core) {
    if (!ScryptCostAllowed(n, r, p) || out == nullptr || outLength == 0 || outLength > INT_MAX || length > INT_MAX ||
        saltLength > INT_MAX) {
        return false;
    }
    if (password == nullptr) password = "", length = 0;
    if (salt == nullptr) salt = reinterpret_cast<const unsigned char*>(""), saltLength = 0;
    const size_t laneBytes = size_t{128} * r;
    const size_t wide = LanesAtOnce(n, laneBytes, p, core);
    WipedBuffer lanes = Allocate(laneBytes * p);
    // A table of N blocks for each lane mixed at once, then two mixing blocks for each.
    WipedBuffer table = Allocate(laneBytes * (n + 2) * wide);
    if (!lanes || !table) return false;
    const int pl = static_cast<int>(length), sl = static_cast<int>(saltLength);
    if (PKCS5_PBKDF2_HMAC(password, pl, salt, sl, 1, EVP_sha256(), static_cast<int>(laneBytes * p), lanes.get()) != 1)
        return false;
    unsigned char* const mixing = table.get() + laneBytes * n * wide;
    for (size_t i = 0; i < p;) {
        const size_t rest = std::min<size_t>(wide, p - i);
        const size_t now = rest >= 4 ? 4 : rest >= 2 ? 2 : 1;
        MixLanes(lanes.get() + laneBytes * i, now, r, n, table.get(), mixing);
        i += now;
    }
    return PKCS5_PBKDF2_HMAC(password, pl, lanes.get(), static_cast<int>(laneBytes * p), 1, EVP_sha256(),
                             static_cast<int>(outLength), out) == 1;
}

}  // namespace logon
