#include "engine/Sha0.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadBe32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

void Sha0::Reset() {
    m_h[0] = 0x67452301;
    m_h[1] = 0xEFCDAB89;
    m_h[2] = 0x98BADCFE;
    m_h[3] = 0x10325476;
    m_h[4] = 0xC3D2E1F0;
    m_bytes = 0;
    m_used = 0;
}

namespace {

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

}  // namespace

void Sha0::Compress(const unsigned char block[64]) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    // The only difference from SHA-1: the schedule is not rotated.
    for (int i = 16; i < 80; ++i) w[i] = w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16];
    uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4];
    Twenty<Choose, 0x5A827999>(a, b, c, d, e, w);
    Twenty<Parity, 0x6ED9EBA1>(a, b, c, d, e, w + 20);
    Twenty<Majority, 0x8F1BBCDC>(a, b, c, d, e, w + 40);
    Twenty<Parity, 0xCA62C1D6>(a, b, c, d, e, w + 60);
    m_h[0] += a;
    m_h[1] += b;
    m_h[2] += c;
    m_h[3] += d;
    m_h[4] += e;
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
        Compress(m_block);
        m_used = 0;
    }
    for (; length >= 64; data += 64, length -= 64) Compress(data);
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
