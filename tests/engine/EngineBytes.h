#pragma once
// Byte buffers of the engine suites: deterministic data and its hexadecimal text.

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"

using Bytes = std::vector<unsigned char>;

inline Bytes Data(size_t n, unsigned seed) {
    std::string s = RandomBytes(n, seed);
    return Bytes(s.begin(), s.end());
}

inline std::string Hex(const void* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02x", static_cast<const unsigned char*>(p)[i]);
        s += b;
    }
    return s;
}
