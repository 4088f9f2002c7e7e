#pragma once
// The key stream the files of one package share. Every software bulk cipher runs in OFB mode,
// so a file's ciphertext is its plaintext XOR a stream that depends only on the key and IV, and
// each file of a package starts that stream afresh from the same key and IV. A pass makes the
// stream once, keeps its first kKeyStreamKept bytes, and XORs each file with them instead of
// running the block cipher per file: a tree of small files then costs the cipher almost nothing.
// Output is byte for byte what the cipher makes. Cards keep their own sessions (not served).

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/CipherTable.h"

struct ContentKey;

// At most this much of a stream is kept (and wiped when the pass ends); files that start
// larger go through the engine's cipher as before, so memory stays flat.
constexpr size_t kKeyStreamKept = 16u << 20;

class KeyStream {
public:
    KeyStream() = default;
    ~KeyStream();
    KeyStream(const KeyStream&) = delete;
    KeyStream& operator=(const KeyStream&) = delete;

    // Starts one file of `size` bytes under key. False when this stream does not serve it (a
    // card, an unknown cipher, a key the library refuses, or a file beyond what is kept): the
    // caller then runs the engine's cipher, which reports any failure once.
    bool Start(const ContentKey& key, uint64_t size);

    // The next `length` bytes of the started file: out = in XOR stream. out may be in. A file
    // that grows beyond what is kept goes on from a cipher of its own. False when the library
    // fails (nothing shown: the caller shows its cipher failure).
    bool Apply(unsigned char* out, const unsigned char* in, size_t length);

private:
    bool Extend(size_t wanted);
    bool SameKey(const ContentKey& key) const;
    void Forget();

    std::unique_ptr<unsigned char[]> m_keyCopy;  // key, IV and cipher id the stream is made from
    int m_cipherId = 0;
    std::unique_ptr<unsigned char[]> m_stream;  // kKeyStreamKept bytes of room
    size_t m_made = 0;                          // stream bytes in m_stream
    std::unique_ptr<SoftCipher> m_maker;        // positioned at m_made
    std::unique_ptr<SoftCipher> m_beyond;       // the current file's own cipher past what is kept
    uint64_t m_position = 0;                    // in the current file
};
