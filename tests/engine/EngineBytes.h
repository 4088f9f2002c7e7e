#pragma once
// Byte buffers of the engine suites (deterministic data, hexadecimal text) and one runner of the
// engine's cipher frame.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/Korvane.h"

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

// Encrypts (or decrypts) `in` through cipher `id` in updates of the given sizes; the output, and
// in `produced` what each update and the final gave back. Each update reads its piece from a
// buffer of exactly that size, or from where its output goes when `inPlace`.
inline Bytes RunFrame(CKorvane& engine, bool encrypt, int id, const Bytes& key, const Bytes& iv, const Bytes& in,
                      const std::vector<size_t>& pieces, std::vector<int>* produced = nullptr, bool inPlace = false) {
    Bytes out(in.size() + 16);
    EXPECT_EQ(
        encrypt ? engine.Evp_EncryptInit(key.data(), iv.data(), id) : engine.Evp_DecryptInit(key.data(), iv.data(), id),
        1);
    size_t at = 0, written = 0;
    for (size_t piece : pieces) {
        int n = -1;
        unsigned char* to = out.data() + written;
        Bytes chunk(in.begin() + static_cast<long>(at), in.begin() + static_cast<long>(at + piece));
        if (inPlace) std::copy(chunk.begin(), chunk.end(), to);
        const unsigned char* from = inPlace ? to : chunk.data();
        EXPECT_EQ(encrypt ? engine.Evp_EncryptUpdate(to, &n, from, static_cast<int>(piece))
                          : engine.Evp_DecryptUpdate(to, &n, from, static_cast<int>(piece)),
                  1);
        if (produced) produced->push_back(n);
        at += piece;
        written += static_cast<size_t>(std::max(n, 0));
    }
    int n = -1;
    EXPECT_EQ(encrypt ? engine.Evp_EncryptFinalEx(out.data() + written, &n)
                      : engine.Evp_DecryptFinal(out.data() + written, &n),
              1);
    if (produced) produced->push_back(n);
    out.resize(written + static_cast<size_t>(std::max(n, 0)));
    return out;
}
