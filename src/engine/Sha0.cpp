#include "engine/Sha0.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

#ifdef __x86_64__
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadBe32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

// One step of the compression with the five words' roles rotated by the caller instead of
// moved: `e` takes the new first word, `b` its rotation.
template <uint32_t (*F)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Step(uint32_t a, uint32_t& b, uint32_t c, uint32_t d, uint32_t& e, uint32_t w) {
    e += Rotl(a, 5) + F(b, c, d) + K + w;
    b = Rotl(b, 30);
}

inline uint32_t Choose(uint32_t b, uint32_t c, uint32_t d) { return d ^ (b & (c ^ d)); }
inline uint32_t Parity(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
inline uint32_t Majority(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (d & (b | c)); }

// Twenty steps of one function, five at a time so that the roles come back to where they were.
template <uint32_t (*F)(uint32_t, uint32_t, uint32_t), uint32_t K>
inline void Twenty(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t& e, const uint32_t* w) {
    for (int i = 0; i < 20; i += 5) {
        Step<F, K>(a, b, c, d, e, w[i]);
        Step<F, K>(e, a, b, c, d, w[i + 1]);
        Step<F, K>(d, e, a, b, c, w[i + 2]);
        Step<F, K>(c, d, e, a, b, w[i + 3]);
        Step<F, K>(b, c, d, e, a, w[i + 4]);
    }
}

void CompressPortable(uint32_t h[5], const unsigned char* blocks, size_t count) {
    for (; count > 0; --count, blocks += 64) {
        uint32_t w[80];
        for (int i = 0; i < 16; ++i) w[i] = LoadBe32(blocks + 4 * i);
        // The only difference from SHA-1: the schedule is not rotated.
        for (int i = 16; i < 80; ++i) w[i] = w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16];
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        Twenty<Choose, 0x5A827999>(a, b, c, d, e, w);
        Twenty<Parity, 0x6ED9EBA1>(a, b, c, d, e, w + 20);
        Twenty<Majority, 0x8F1BBCDC>(a, b, c, d, e, w + 40);
        Twenty<Parity, 0xCA62C1D6>(a, b, c, d, e, w + 60);
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
}

#ifdef __x86_64__

// Four schedule words to a register, the first in the highest lane, as the SHA instructions
// take them.
[[gnu::target("sha,sse4.1"), gnu::always_inline]] inline __m128i LoadWords(const unsigned char* p) {
    const __m128i reverse = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// Schedule words i..i+3 from the sixteen before them (w16 holds w[i-16..i-13], and so on):
// w[i] = w[i-3] ^ w[i-8] ^ w[i-14] ^ w[i-16], unrotated. The last of the four takes w[i] as
// its w[i-3], so it is finished after the other three.
[[gnu::target("sha,sse4.1"), gnu::always_inline]] inline __m128i NextWords(__m128i w16, __m128i w12, __m128i w8,
                                                                           __m128i w4) {
    __m128i x = _mm_xor_si128(_mm_sha1msg1_epu32(w16, w12), w8);  // w[i-16] ^ w[i-14] ^ w[i-8]
    x = _mm_xor_si128(x, _mm_slli_si128(w4, 4));                  // ^ w[i-3] for the first three
    return _mm_xor_si128(x, _mm_srli_si128(x, 12));
}

// Four rounds of function F. `previous` is the state before the last four rounds, from which
// this group's fifth word comes.
template <int F>
[[gnu::target("sha,sse4.1"), gnu::always_inline]] inline void Rounds(__m128i& abcd, __m128i& previous, __m128i w) {
    const __m128i ew = _mm_sha1nexte_epu32(previous, w);
    previous = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, ew, F);
}

[[gnu::target("sha,sse4.1")]] void CompressShaInstructions(uint32_t h[5], const unsigned char* blocks, size_t count) {
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0x1B);
    __m128i e = _mm_set_epi32(static_cast<int>(h[4]), 0, 0, 0);
    for (; count > 0; --count, blocks += 64) {
        const __m128i abcdBefore = abcd, eBefore = e;
        __m128i w0 = LoadWords(blocks), w1 = LoadWords(blocks + 16), w2 = LoadWords(blocks + 32),
                w3 = LoadWords(blocks + 48);
        __m128i previous = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, w0), 0);
        Rounds<0>(abcd, previous, w1);
        Rounds<0>(abcd, previous, w2);
        Rounds<0>(abcd, previous, w3);
        Rounds<0>(abcd, previous, w0 = NextWords(w0, w1, w2, w3));
        Rounds<1>(abcd, previous, w1 = NextWords(w1, w2, w3, w0));
        Rounds<1>(abcd, previous, w2 = NextWords(w2, w3, w0, w1));
        Rounds<1>(abcd, previous, w3 = NextWords(w3, w0, w1, w2));
        Rounds<1>(abcd, previous, w0 = NextWords(w0, w1, w2, w3));
        Rounds<1>(abcd, previous, w1 = NextWords(w1, w2, w3, w0));
        Rounds<2>(abcd, previous, w2 = NextWords(w2, w3, w0, w1));
        Rounds<2>(abcd, previous, w3 = NextWords(w3, w0, w1, w2));
        Rounds<2>(abcd, previous, w0 = NextWords(w0, w1, w2, w3));
        Rounds<2>(abcd, previous, w1 = NextWords(w1, w2, w3, w0));
        Rounds<2>(abcd, previous, w2 = NextWords(w2, w3, w0, w1));
        Rounds<3>(abcd, previous, w3 = NextWords(w3, w0, w1, w2));
        Rounds<3>(abcd, previous, w0 = NextWords(w0, w1, w2, w3));
        Rounds<3>(abcd, previous, w1 = NextWords(w1, w2, w3, w0));
        Rounds<3>(abcd, previous, w2 = NextWords(w2, w3, w0, w1));
        Rounds<3>(abcd, previous, w3 = NextWords(w3, w0, w1, w2));
        e = _mm_sha1nexte_epu32(previous, eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_shuffle_epi32(abcd, 0x1B));
    h[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

bool ProcessorHasShaInstructions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_SSSE3) || !(c & bit_SSE4_1)) return false;
    return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA);
}

#else

bool ProcessorHasShaInstructions() { return false; }

#endif

}  // namespace

bool Sha0::HasShaInstructions() {
    static const bool has = ProcessorHasShaInstructions();
    return has;
}

Sha0::Sha0(Compression compression) : m_compress(CompressPortable) {
#ifdef __x86_64__
    if (compression == Compression::kFastest && HasShaInstructions()) m_compress = CompressShaInstructions;
#else
    (void)compression;
#endif
    Reset();
}

void Sha0::Reset() {
    m_h[0] = 0x67452301;
    m_h[1] = 0xEFCDAB89;
    m_h[2] = 0x98BADCFE;
    m_h[3] = 0x10325476;
    m_h[4] = 0xC3D2E1F0;
    m_bytes = 0;
    m_used = 0;
}

void Sha0::Update(const unsigned char* data, size_t length) {
    m_bytes += length;
    if (m_used > 0) {
        size_t take = std::min(length, sizeof m_block - m_used);
        std::memcpy(m_block + m_used, data, take);
        m_used += take;
        data += take;
        length -= take;
        if (m_used < sizeof m_block) return;
        m_compress(m_h, m_block, 1);
        m_used = 0;
    }
    if (length >= 64) {
        m_compress(m_h, data, length / 64);
        data += length / 64 * 64;
        length %= 64;
    }
    if (length > 0) {
        std::memcpy(m_block, data, length);
        m_used = length;
    }
}

void Sha0::Final(unsigned char digest[kDigestLength]) {
    uint64_t bits = m_bytes * 8;
    unsigned char pad[72] = {0x80};
    size_t padLength = (m_used < 56 ? 56 : 120) - m_used;
    for (int i = 0; i < 8; ++i)
        pad[padLength + static_cast<size_t>(i)] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(pad, padLength + 8);
    for (int i = 0; i < 5; ++i) {
        digest[4 * i] = static_cast<unsigned char>(m_h[i] >> 24);
        digest[4 * i + 1] = static_cast<unsigned char>(m_h[i] >> 16);
        digest[4 * i + 2] = static_cast<unsigned char>(m_h[i] >> 8);
        digest[4 * i + 3] = static_cast<unsigned char>(m_h[i]);
    }
    OPENSSL_cleanse(m_block, sizeof m_block);
    Reset();
}
