#pragma once
// SHA-0, the digest behind signature digest 42. No maintained library carries it any more, so
// the engine keeps this small implementation: SHA-1's compression without the one-bit rotation
// in the message schedule.

#include <cstddef>
#include <cstdint>

class Sha0 {
public:
    static constexpr size_t kDigestLength = 20;

    Sha0() { Reset(); }
    void Reset();
    void Update(const unsigned char* data, size_t length);
    // Writes the 20-byte digest and leaves the state reset for the next message.
    void Final(unsigned char digest[kDigestLength]);

private:
    void Compress(const unsigned char block[64]);

    uint32_t m_h[5];
    uint64_t m_bytes;
    unsigned char m_block[64];
    size_t m_used;
};
