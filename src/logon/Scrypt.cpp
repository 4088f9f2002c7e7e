#include "logon/Scrypt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

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

// ---- Wide mixing. A block's sixteen words are held as four diagonals, (x0 x5 x10 x15),
// (x4 x9 x14 x3), (x8 x13 x2 x7), (x12 x1 x6 x11), so that each step of a column round works
// on all four columns at once; a lane shuffle turns the diagonals to serve the row round and
// back. Blocks stay in this order from the lane's first load to its last store.
//
// One Salsa20/8 is a chain of dependent steps that leaves most of the processor idle (on one
// lane, SSE2 registers lose to the scalar code above, which works four columns side by side),
// so lanes are mixed together: two in each 256-bit register, one per half, and the steps of
// up to three such pairs interleaved. Each lane keeps its own table, as its indices differ.
//
// The code is written in the compiler's vector types and built twice, for AVX2 and for the
// AVX-512 level, whose rotate instruction shortens every step; LanesAtOnce picks by the
// processor (the portable code serves processors without AVX2).

// Like the processor's own vector types they may alias words: the lane loads and stores
// treat the same memory as uint32_t.
typedef uint32_t Words4 __attribute__((vector_size(16), may_alias));  // one diagonal of one lane
typedef uint32_t Words8 __attribute__((vector_size(32), may_alias));  // the same diagonal of two lanes

constexpr int kDiagonal[16] = {0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12, 1, 6, 11};

// A lane's bytes to blocks of diagonals, and back: once per lane, so kept out of line rather
// than expanded into each instruction set's mixing.
[[gnu::noinline]] void LoadLane(const unsigned char* lane, size_t r, Words4* blocks) {
    auto* words = reinterpret_cast<uint32_t*>(blocks);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) words[block * 16 + k] = LoadLe32(lane + block * kBlockBytes + 4 * kDiagonal[k]);
    }
}

[[gnu::noinline]] void StoreLane(const Words4* blocks, size_t r, unsigned char* lane) {
    const auto* words = reinterpret_cast<const uint32_t*>(blocks);
    for (size_t block = 0; block < 2 * r; ++block) {
        for (int k = 0; k < 16; ++k) StoreLe32(lane + block * kBlockBytes + 4 * kDiagonal[k], words[block * 16 + k]);
    }
}

[[gnu::always_inline]] inline void Step(Words8& target, const Words8& a, const Words8& b, int n) {
    const Words8 sum = a + b;
    target ^= (sum << n) | (sum >> (32 - n));
}

template <size_t kPairs>
[[gnu::always_inline]] inline void Salsa8(Words8 (&x)[kPairs][4]) {
    Words8 y[kPairs][4];
    for (size_t c = 0; c < kPairs; ++c) {
        for (int k = 0; k < 4; ++k) y[c][k] = x[c][k];
    }
    for (int i = 0; i < 8; i += 2) {
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][1], x[c][0], x[c][3], 7);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][2], x[c][1], x[c][0], 9);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][3], x[c][2], x[c][1], 13);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][0], x[c][3], x[c][2], 18);
        // x[1] now holds the rows' fourth words, x[2] their third, x[3] their second.
        for (size_t c = 0; c < kPairs; ++c) {
            x[c][1] = __builtin_shufflevector(x[c][1], x[c][1], 3, 0, 1, 2, 7, 4, 5, 6);
            x[c][2] = __builtin_shufflevector(x[c][2], x[c][2], 2, 3, 0, 1, 6, 7, 4, 5);
            x[c][3] = __builtin_shufflevector(x[c][3], x[c][3], 1, 2, 3, 0, 5, 6, 7, 4);
        }
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][3], x[c][0], x[c][1], 7);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][2], x[c][3], x[c][0], 9);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][1], x[c][2], x[c][3], 13);
        for (size_t c = 0; c < kPairs; ++c) Step(x[c][0], x[c][1], x[c][2], 18);
        for (size_t c = 0; c < kPairs; ++c) {
            x[c][1] = __builtin_shufflevector(x[c][1], x[c][1], 1, 2, 3, 0, 5, 6, 7, 4);
            x[c][2] = __builtin_shufflevector(x[c][2], x[c][2], 2, 3, 0, 1, 6, 7, 4, 5);
            x[c][3] = __builtin_shufflevector(x[c][3], x[c][3], 3, 0, 1, 2, 7, 4, 5, 6);
        }
    }
    for (size_t c = 0; c < kPairs; ++c) {
        for (int k = 0; k < 4; ++k) x[c][k] += y[c][k];
    }
}

// Diagonal k of two lanes' blocks, side by side; and back.
[[gnu::always_inline]] inline void Pair(Words8& x, const Words4* low, const Words4* high, size_t k) {
    x = __builtin_shufflevector(low[k], high[k], 0, 1, 2, 3, 4, 5, 6, 7);
}

[[gnu::always_inline]] inline void Unpair(const Words8& x, Words4* low, Words4* high, size_t k) {
    low[k] = __builtin_shufflevector(x, x, 0, 1, 2, 3);
    high[k] = __builtin_shufflevector(x, x, 4, 5, 6, 7);
}

// As BlockMixPortable for kPairs pairs of lanes: a holds each pair's 8r registers in turn, out
// likewise; b, when kXor, the 2 kPairs lanes' table blocks.
template <size_t kPairs, bool kXor>
[[gnu::always_inline]] inline void BlockMixWide(const Words8* a, const Words4* const* b, Words8* out, size_t r) {
    const size_t per = 8 * r, last = (2 * r - 1) * 4;
    Words8 x[kPairs][4];
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < 4; ++k) {
            x[c][k] = a[c * per + last + k];
            if constexpr (kXor) {
                Words8 t;
                Pair(t, b[2 * c], b[2 * c + 1], last + k);
                x[c][k] ^= t;
            }
        }
    }
    for (size_t i = 0; i < 2 * r; ++i) {
        for (size_t c = 0; c < kPairs; ++c) {
            for (size_t k = 0; k < 4; ++k) {
                x[c][k] ^= a[c * per + 4 * i + k];
                if constexpr (kXor) {
                    Words8 t;
                    Pair(t, b[2 * c], b[2 * c + 1], 4 * i + k);
                    x[c][k] ^= t;
                }
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
[[gnu::always_inline]] inline void RoMixWide(unsigned char* const* lanes, size_t r, uint64_t n, Words4* const* v,
                                             Words8* xy) {
    constexpr size_t kLanes = 2 * kPairs;
    const size_t vectors = 8 * r, per = kPairs * vectors;
    Words8* x = xy;
    Words8* y = xy + per;
    for (size_t l = 0; l < kLanes; ++l) LoadLane(lanes[l], r, v[l]);
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < vectors; ++k) Pair(x[c * vectors + k], v[2 * c], v[2 * c + 1], k);
    }
    for (uint64_t i = 0; i < n; ++i) {
        for (size_t c = 0; c < kPairs && i > 0; ++c) {
            for (size_t k = 0; k < vectors; ++k) {
                Unpair(x[c * vectors + k], v[2 * c] + i * vectors, v[2 * c + 1] + i * vectors, k);
            }
        }
        BlockMixWide<kPairs, false>(x, nullptr, y, r);
        std::swap(x, y);
    }
    const Words4* blocks[kLanes];
    for (uint64_t i = 0; i < n; ++i) {
        for (size_t c = 0; c < kPairs; ++c) {
            // Word 0 of each lane's last block leads its first diagonal. N is at most 2^18
            // (the memory cap), so the low word of Integerify is all the index needs.
            const Words8& last = x[c * vectors + (2 * r - 1) * 4];
            blocks[2 * c] = v[2 * c] + (last[0] & (n - 1)) * vectors;
            blocks[2 * c + 1] = v[2 * c + 1] + (last[4] & (n - 1)) * vectors;
        }
        // Ask for the whole blocks now; they are read a line at a time, in order.
        for (size_t l = 0; l < kLanes; ++l) {
            for (size_t line = 0; line < vectors; line += 4) __builtin_prefetch(blocks[l] + line);
        }
        BlockMixWide<kPairs, true>(x, blocks, y, r);
        std::swap(x, y);
    }
    for (size_t c = 0; c < kPairs; ++c) {
        for (size_t k = 0; k < vectors; ++k) Unpair(x[c * vectors + k], v[2 * c], v[2 * c + 1], k);
        StoreLane(v[2 * c], r, lanes[2 * c]);
        StoreLane(v[2 * c + 1], r, lanes[2 * c + 1]);
    }
}

// RoMixWide of 1 to 3 pairs, built for each instruction set.
[[gnu::target("avx2")]] void RoMixAvx2(size_t pairs, unsigned char* const* lanes, size_t r, uint64_t n,
                                       Words4* const* v, Words8* xy) {
    if (pairs == 3) return RoMixWide<3>(lanes, r, n, v, xy);
    pairs == 2 ? RoMixWide<2>(lanes, r, n, v, xy) : RoMixWide<1>(lanes, r, n, v, xy);
}

[[gnu::target("arch=x86-64-v4")]] void RoMixAvx512(size_t pairs, unsigned char* const* lanes, size_t r, uint64_t n,
                                                   Words4* const* v, Words8* xy) {
    if (pairs == 3) return RoMixWide<3>(lanes, r, n, v, xy);
    pairs == 2 ? RoMixWide<2>(lanes, r, n, v, xy) : RoMixWide<1>(lanes, r, n, v, xy);
}

#endif

enum class Wide { kNone, kAvx2, kAvx512 };

// The widest mixing this processor has, within what core allows.
Wide WideMixing(ScryptCore core) {
#ifdef __x86_64__
    static const Wide wide = !__builtin_cpu_supports("avx2") ? Wide::kNone
                             : __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                                     __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                                     __builtin_cpu_supports("avx512cd")
                                 ? Wide::kAvx512
                                 : Wide::kAvx2;
    return core == ScryptCore::kPortable ? Wide::kNone : core == ScryptCore::kAvx2 ? std::min(wide, Wide::kAvx2) : wide;
#else
    (void)core;
    return Wide::kNone;
#endif
}

// Lanes mixed side by side take a table each: five at kKeyCost take 80 MiB, on one thread or
// shared by two. Larger tables, which only keys from elsewhere carry, are mixed fewer at a time.
// (Fewer at a time would fault in less fresh memory, but costs more: at kKeyCost, in a new
// process, two lanes at a time take 15% longer than five and one lane 35% longer.)
constexpr uint64_t kSideBySideMemory = uint64_t{84} << 20;

// How many of count lanes one pass mixes, within memory bytes of tables: two to a register
// pair, up to three pairs (with AVX2's sixteen registers a third pair spills some, and still
// pays: at kKeyCost five lanes take 64 ms of CPU against 88 ms as two pairs and a lone lane).
size_t LanesAtOnce(uint64_t n, size_t laneBytes, size_t count, uint64_t memory, Wide wide) {
    const size_t most = wide == Wide::kNone ? 1 : 6;
    for (size_t at = std::min(most, count); at > 1; --at) {
        if (at * (n + 2) * laneBytes <= memory) return at;
    }
    return 1;
}

// ROMix of count lanes (up to LanesAtOnce) from first on; tables holds a table of N blocks for
// each, mixing two blocks for each and for one more. An odd lane among others fills both halves
// of its register pair: the halves compute the same and write the same table, which costs
// less than mixing it alone afterwards.
void MixLanes(Wide wide, unsigned char* first, size_t count, size_t r, uint64_t n, unsigned char* tables,
              unsigned char* mixing) {
#ifdef __x86_64__
    if (count > 1) {
        unsigned char* lanes[6];
        Words4* v[6];
        const size_t pairs = (count + 1) / 2;
        for (size_t l = 0; l < 2 * pairs; ++l) {
            const size_t from = std::min(l, count - 1);
            lanes[l] = first + 128 * r * from;
            v[l] = reinterpret_cast<Words4*>(tables + 128 * r * n * from);
        }
        auto* xy = reinterpret_cast<Words8*>(mixing);
        wide == Wide::kAvx512 ? RoMixAvx512(pairs, lanes, r, n, v, xy) : RoMixAvx2(pairs, lanes, r, n, v, xy);
        return;
    }
#endif
    (void)wide, (void)count;
    RoMixPortable(first, r, n, reinterpret_cast<uint32_t*>(tables), reinterpret_cast<uint32_t*>(mixing));
}

// ROMix of count lanes from first on (of p in all), in tables of their own: their share of
// memory, the bytes that all p lanes side by side may take.
bool MixRange(Wide wide, unsigned char* first, size_t count, size_t r, uint64_t n, uint32_t p, uint64_t memory) {
    const size_t laneBytes = 128 * r;
    const size_t atOnce = LanesAtOnce(n, laneBytes, count, memory / p * count, wide);
    // A table of N blocks for each lane mixed at once, then two mixing blocks for each and for
    // one more (an odd lane takes a whole register pair).
    WipedBuffer tables = Allocate(laneBytes * ((n + 2) * atOnce + 2));
    if (!tables) return false;
    unsigned char* const mixing = tables.get() + laneBytes * n * atOnce;
    for (size_t i = 0, now = 0; i < count; i += now) {
        now = std::min(atOnce, count - i);
        MixLanes(wide, first + laneBytes * i, now, r, n, tables.get(), mixing);
    }
    return true;
}

// The cores this thread may run on (one under taskset -c 0).
int CoresFree() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
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
                  uint32_t r, uint32_t p, unsigned char* out, size_t outLength, ScryptCore core,
                  ScryptThreads threads) {
    if (!ScryptCostAllowed(n, r, p) || out == nullptr || outLength == 0 || outLength > INT_MAX || length > INT_MAX ||
        saltLength > INT_MAX) {
        return false;
    }
    if (password == nullptr) password = "", length = 0;
    if (salt == nullptr) salt = reinterpret_cast<const unsigned char*>(""), saltLength = 0;
    const size_t laneBytes = size_t{128} * r;
    WipedBuffer lanes = Allocate(laneBytes * p);
    if (!lanes) return false;
    const int pl = static_cast<int>(length), sl = static_cast<int>(saltLength);
    if (PKCS5_PBKDF2_HMAC(password, pl, salt, sl, 1, EVP_sha256(), static_cast<int>(laneBytes * p), lanes.get()) != 1)
        return false;
    // Lanes are independent: with a second core free, the later half is mixed on a thread of
    // its own, in tables of its own, so a derivation takes less time, and the page faults of
    // its fresh tables (much of its time in a new process) are shared by two cores.
    const Wide wide = WideMixing(core);
    const size_t later = threads == ScryptThreads::kTwoWhereFree && p > 1 && CoresFree() > 1 ? p / 2 : 0;
    bool laterMixed = false;
    std::thread helper;
    if (later > 0) {
        try {
            helper = std::thread([&] {
                laterMixed = MixRange(wide, lanes.get() + laneBytes * (p - later), later, r, n, p, kSideBySideMemory);
            });
        } catch (const std::system_error&) {
            // No thread: this one mixes them all.
        }
    }
    const size_t first = helper.joinable() ? p - later : p;
    const bool firstMixed = MixRange(wide, lanes.get(), first, r, n, p, kSideBySideMemory);
    if (helper.joinable()) helper.join();
    if (!firstMixed || (first < p && !laterMixed)) return false;
    return PKCS5_PBKDF2_HMAC(password, pl, lanes.get(), static_cast<int>(laneBytes * p), 1, EVP_sha256(),
                             static_cast<int>(outLength), out) == 1;
}

}  // namespace logon
