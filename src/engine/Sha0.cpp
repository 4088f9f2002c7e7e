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

void Sha0::Compress(const unsigned char block[64]) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(block + 4 * i);
    // The only difference from SHA-1: the schedule is not rotated.
    for (int i = 16; i < 80; ++i) w[i] = w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16];
    uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    }
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
