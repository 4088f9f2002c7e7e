#include "package/KeyStream.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

#include "engine/Identifiers.h"
#include "package/ContentStream.h"

namespace {

constexpr size_t kKeyCopySize = sizeof ContentKey::key + sizeof ContentKey::iv + sizeof(int);
// The stream is made in whole stretches of this size, as files need it: a package of one small
// file pays for no more cipher than its file.
constexpr size_t kStretch = 4u << 10;
// A file's own cipher is brought past the kept stream in pieces of this size.
constexpr size_t kSkipPiece = 64u << 10;

void CopyKey(unsigned char* to, const ContentKey& key) {
    std::memcpy(to, key.key, sizeof key.key);
    std::memcpy(to + sizeof key.key, key.iv, sizeof key.iv);
    std::memcpy(to + sizeof key.key + sizeof key.iv, &key.cipherId, sizeof(int));
}

// out = in XOR stream, a word at a time.
void Xor(unsigned char* out, const unsigned char* in, const unsigned char* stream, size_t length) {
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, in + i, 8);
        std::memcpy(&b, stream + i, 8);
        a ^= b;
        std::memcpy(out + i, &a, 8);
    }
    for (; i < length; ++i) out[i] = in[i] ^ stream[i];
}

}  // namespace

KeyStream::~KeyStream() { Forget(); }

void KeyStream::Forget() {
    if (m_stream) OPENSSL_cleanse(m_stream.get(), m_made);
    if (m_keyCopy) OPENSSL_cleanse(m_keyCopy.get(), kKeyCopySize);
    m_made = 0;
    m_maker.reset();
    m_beyond.reset();
}

bool KeyStream::SameKey(const ContentKey& key) const {
    if (!m_maker) return false;
    unsigned char copy[kKeyCopySize];
    CopyKey(copy, key);
    const bool same = std::memcmp(copy, m_keyCopy.get(), kKeyCopySize) == 0;
    OPENSSL_cleanse(copy, sizeof copy);
    return same;
}

bool KeyStream::Start(const ContentKey& key, uint64_t size) {
    if (size > kKeyStreamKept || key.cipherId >= kCipherPciCard) return false;
    const CipherEntry* entry = FindCipher(key.cipherId);
    if (entry == nullptr) return false;
    m_beyond.reset();
    m_position = 0;
    if (SameKey(key)) return true;
    Forget();
    m_maker = entry->make(key.key, key.iv);
    if (!m_maker) return false;
    if (!m_keyCopy) m_keyCopy = std::make_unique<unsigned char[]>(kKeyCopySize);
    if (!m_stream) m_stream = std::make_unique_for_overwrite<unsigned char[]>(kKeyStreamKept);
    CopyKey(m_keyCopy.get(), key);
    m_cipherId = key.cipherId;
    return true;
}

// Makes the stream up to at least `wanted` bytes (at most what is kept), in whole stretches,
// doubling what is there so a tree of growing files makes its stream once.
bool KeyStream::Extend(size_t wanted) {
    const size_t stretches = (wanted + kStretch - 1) / kStretch * kStretch;
    const size_t target = std::min(kKeyStreamKept, std::max(stretches, 2 * m_made));
    unsigned char* at = m_stream.get() + m_made;
    const size_t length = target - m_made;
    std::memset(at, 0, length);
    if (!m_maker->Update(at, at, length)) {
        Forget();
        return false;
    }
    m_made = target;
    return true;
}

bool KeyStream::Apply(unsigned char* out, const unsigned char* in, size_t length) {
    if (m_position < kKeyStreamKept) {
        const size_t kept = std::min<uint64_t>(length, kKeyStreamKept - m_position);
        if (m_position + kept > m_made && !Extend(static_cast<size_t>(m_position + kept))) return false;
        Xor(out, in, m_stream.get() + m_position, kept);
        m_position += kept;
        out += kept;
        in += kept;
        length -= kept;
    }
    if (length == 0) return true;
    // A file that grew beyond what is kept while it was read: a cipher of its own, brought to
    // the end of the kept stretch by running it over that many bytes.
    if (!m_beyond) {
        const CipherEntry* entry = FindCipher(m_cipherId);
        const unsigned char* key = m_keyCopy.get();
        m_beyond = entry ? entry->make(key, key + sizeof ContentKey::key) : nullptr;
        auto scratch = std::make_unique<unsigned char[]>(kSkipPiece);
        for (size_t skipped = 0; m_beyond && skipped < kKeyStreamKept; skipped += kSkipPiece)
            if (!m_beyond->Update(scratch.get(), scratch.get(), kSkipPiece)) m_beyond.reset();
        if (!m_beyond) return false;
    }
    m_position += length;
    return m_beyond->Update(out, in, length);
}
