#pragma once
// The engine's CRC-16 over byte ranges: the same result as applying CRC1B to every byte, eight
// bytes per step (slicing-by-8), so that the CRC never limits a package's speed.

#include <cstddef>
#include <cstdint>

uint16_t Crc16Update(uint16_t reg, const unsigned char* data, size_t length);
// Complement, then exchange the two bytes: the value stored after a CRC-protected range.
uint16_t Crc16Final(uint16_t reg);

// Whether a CRC read from a file matches the one computed over its range. Builds made for
// fuzzing (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION) take every stored value as matching: the
// CRC tells damage apart, it stops nobody who rewrites a file (anyone can recompute it), so
// every reader behind it must hold against any content, and a fuzzer reaches them only so.
inline bool StoredCrcMatches(uint16_t stored, uint16_t computed) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    (void)stored;
    (void)computed;
    return true;
#else
    return stored == computed;
#endif
}
