#pragma once
// SHA-0, the digest behind signature digest 42. No maintained library carries it any more, so
// the engine keeps this small implementation: SHA-1's compression without the one-bit rotation
// in the message schedule. Where the processor has SHA instructions, their rounds do the
// compression with the schedule worked out beside them (theirs would rotate it); elsewhere
// portable code does.

#include <cstddef>
#include <cstdint>

class Sha0 {
public:
    static constexpr size_t kDigestLength = 20;
    // kPortable keeps to the portable compression even where SHA instructions exist.
    enum class Compression { kFastest, kPortable };
    // Whether kFastest uses the processor's SHA instructions here.
    static bool HasShaInstructions();

    explicit Sha0(Compression compression = Compression::kFastest);
    void Reset();
    void Update(const unsigned char* data, size_t length);
    // Writes the 20-byte digest and leaves the state reset for the next message.
    void Final(unsigned char digest[kDigestLength]);

private:
    using Compress = void (*)(uint32_t state[5], const unsigned char* blocks, size_t count);

    Compress m_compress;
    uint32_t m_h[5];
    uint64_t m_bytes;
    unsigned char m_block[64];
    size_t m_used;
};
