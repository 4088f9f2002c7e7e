#include "logon/Scrypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef __x86_64__
#include <emmintrin.h>
#endif

namespace logon {
namespace {

constexpr size_t kBlockBytes = 64;  // one Salsa20/8 block; a scrypt block is 2r of them
constexpr uint64_t kMaxRp = (uint64_t{1} << 30) - 1;

// Wiped and freed together; 64-byte aligned so that every Salsa20 block sits in one line.
struct WipeFree {
    size_t size;
    void operator()(unsigned char* p) const {
        OPENSSL_cleanse(p, size);
        std::free(p);
    }
};
using WipedBuffer = std::unique_ptr<unsigned char[], WipeFree>;

WipedBuffer Allocate(size_t size) {
    const size_t rounded = (size + 63) / 64 * 64;
    return WipedBuffer(static_cast<unsigned char*>(std::aligned_alloc(64, rounded)), WipeFree{rounded});
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

// ---- SSE2 mixing. A block's sixteen words are held as four diagonals, (x0 x5 x10 x15),
// (x4 x9 x14 x3), (x8 x13 x2 x7), (x12 x1 x6 x11), so that each step of a column round works
// on all four columns at once; a lane shuffle turns the diagonals to serve the row round and
// back. Blocks stay in this order from the lane's first load to its last store.

constexpr int kDiagonal[16] = {0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11};

inline __m128i Rotl(__m128i x, int n) { return _mm_or_si128(_mm_slli_epi32(x, n), _mm_srli_epi32(x, 32 - n)); }

inline void Step(__m128i& target, __m128i a, __m128i b, int n) {
    target = _mm_xor_si128(target, Rotl(_mm_add_epi32(a, b), n));
}

inline void Salsa8(__m128i& x0, __m128i& x1, __m128i& x2, __m128i& x3) {
    const __m128i y0 = x0, y1 = x1, y2 = x2, y3 = x3;
    for (int i = 0; i < 8; i += 2) {
        Step(x1, x0, x3, 7);
        Step(x2, x1, x0, 9);
        Step(x3, x2, x1, 13);
        Step(x0, x3, x2, 18);
        // x1 now holds the rows' fourth words, x2 their third, x3 their second.
        x1 = _mm_shuffle_epi32(x1, 0x93);
        x2 = _mm_shuffle_epi32(x2, 0x4E);
        x3 = _mm_shuffle_epi32(x3, 0x39);
        Step(x3, x0, x1, 7);
        Step(x2, x3, x0, 9);
        Step(x1, x2, x3, 13);
        Step(x0, x1, x2, 18);
        x1 = _mm_shuffle_epi32(x1, 0x39);
        x2 = _mm_shuffle_epi32(x2, 0x4E);
        x3 = _mm_shuffle_epi32(x3, 0x93);
    }
    x0 = _mm_add_epi32(x0, y0);
    x1 = _mm_add_epi32(x1, y1);
    x2 = _mm_add_epi32(x2, y2);
    x3 = _mm_add_epi32(x3, y3);
}

// As BlockMixPortable, on blocks of four registers; kXor says whether b is there.
template <bool kXor>
inline void BlockMixSse2(const __m128i* a, const __m128i* b, __m128i* out, size_t r) {
    const size_t last = (2 * r - 1) * 4;
    __m128i x0 = a[last], x1 = a[last + 1], x2 = a[last + 2], x3 = a[last + 3];
    if constexpr (kXor) {
        x0 = _mm_xor_si128(x0, b[last]);
        x1 = _mm_xor_si128(x1, b[last + 1]);
        x2 = _mm_xor_si128(x2, b[last + 2]);
        x3 = _mm_xor_si128(x3, b[last + 3]);
    }
    for (size_t i = 0; i < 2 * r; ++i) {
        const __m128i* in = a + 4 * i;
        x0 = _mm_xor_si128(x0, in[0]);
        x1 = _mm_xor_si128(x1, in[1]);
        x2 = _mm_xor_si128(x2, in[2]);
        x3 = _mm_xor_si128(x3, in[3]);
        if constexpr (kXor) {
            const __m128i* in2 = b + 4 * i;
            x0 = _mm_xor_si128(x0, in2[0]);
            x1 = _mm_xor_si128(x1, in2[1]);
            x2 = _mm_xor_si128(x2, in2[2]);
            x3 = _mm_xor_si128(x3, in2[3]);
        }
        Salsa8(x0, x1, x2, x3);
        __m128i* o = out + 4 * ((i & 1) ? r + i / 2 : i / 2);
        o[0] = x0;
        o[1] = x1;
        o[2] = x2;
        o[3] = x3;
    }
}

void RoMixSse2(unsigned char* lane, size_t r, uint64_t n, __m128i* v, __m128i* xy) {
    const size_t vectors = 8 * r;
    __m128i* x = xy;
    __m128i* y = xy + vectors;
    auto* words = reinterpret_cast<uint32_t*>(v);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) words[block * 16 + k] = LoadLe32(lane + block * kBlockBytes + 4 * kDiagonal[k]);
    }
    for (uint64_t i = 0; i + 1 < n; ++i) BlockMixSse2<false>(v + i * vectors, nullptr, v + (i + 1) * vectors, r);
    BlockMixSse2<false>(v + (n - 1) * vectors, nullptr, x, r);
    for (uint64_t i = 0; i < n; ++i) {
        // Word 0 of the last block leads its first diagonal.
        const uint64_t j = static_cast<uint32_t>(_mm_cvtsi128_si32(x[(2 * r - 1) * 4])) & (n - 1);
        BlockMixSse2<true>(x, v + j * vectors, y, r);
        std::swap(x, y);
    }
    words = reinterpret_cast<uint32_t*>(x);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) StoreLe32(lane + block * kBlockBytes + 4 * kDiagonal[k], words[block * 16 + k]);
    }
}

#endif

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
    if (!ScryptCostAllowed(n, r, p) || out == nullptr || outLength == 0 || outLength > INT_MAX ||
        length > INT_MAX || saltLength > INT_MAX) {
        return false;
    }
    if (password == nullptr) password = "", length = 0;
    if (salt == nullptr) salt = reinterpret_cast<const unsigned char*>(""), saltLength = 0;
    const size_t laneBytes = size_t{128} * r;
    WipedBuffer lanes = Allocate(laneBytes * p);
    // The table and the two mixing blocks; one lane at a time uses them.
    WipedBuffer table = Allocate(laneBytes * (n + 2));
    if (!lanes || !table) return false;
    const int pl = static_cast<int>(length), sl = static_cast<int>(saltLength);
    if (PKCS5_PBKDF2_HMAC(password, pl, salt, sl, 1, EVP_sha256(), static_cast<int>(laneBytes * p), lanes.get()) != 1)
        return false;
    for (uint32_t i = 0; i < p; ++i) {
        unsigned char* lane = lanes.get() + laneBytes * i;
#ifdef __x86_64__
        if (core == ScryptCore::kFastest) {
            auto* v = reinterpret_cast<__m128i*>(table.get());
            RoMixSse2(lane, r, n, v, v + 8 * r * n);
            continue;
        }
#endif
        auto* v = reinterpret_cast<uint32_t*>(table.get());
        RoMixPortable(lane, r, n, v, v + 32 * r * n);
    }
    (void)core;
    return PKCS5_PBKDF2_HMAC(password, pl, lanes.get(), static_cast<int>(laneBytes * p), 1, EVP_sha256(),
                             static_cast<int>(outLength), out) == 1;
}

}  // namespace logon
