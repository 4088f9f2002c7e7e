#pragma once
// The one table of software ciphers and digests behind the cipher frame. An identifier is an
// object number: it becomes a short name ("DES-OFB", "RSA-SHA", ...) and the short name selects
// the implementation, so where a cipher comes from is invisible to the frame and its callers.
//
// Bulk ciphers are 64-bit OFB: output length always equals input length, and their finals
// produce nothing.

#include <cstddef>
#include <memory>
#include <string_view>

// One direction of one bulk cipher session, keyed at creation.
class SoftCipher {
public:
    virtual ~SoftCipher() = default;
    // Transforms `length` bytes; out and in may be the same buffer. False when the library
    // reports a failure (the session is then unusable).
    virtual bool Update(unsigned char* out, const unsigned char* in, size_t length) = 0;
};

// A running digest.
class MessageDigest {
public:
    virtual ~MessageDigest() = default;
    virtual bool Update(const unsigned char* data, size_t length) = 0;
    // Writes Length() bytes; false when the library reports a failure.
    virtual bool Final(unsigned char* digest) = 0;
    virtual size_t Length() const = 0;
};

struct CipherEntry {
    const char* shortName;
    size_t keyLength;  // bytes read from the caller's key
    size_t ivLength;   // bytes read from the caller's IV
    // Null when the library refuses the key or cannot open a session.
    std::unique_ptr<SoftCipher> (*make)(const unsigned char* key, const unsigned char* iv);
};

struct DigestEntry {
    const char* shortName;
    size_t length;
    // DER prefix of the DigestInfo that PKCS#1 v1.5 signatures wrap around the digest.
    const unsigned char* digestInfoPrefix;
    size_t digestInfoPrefixLength;
    std::unique_ptr<MessageDigest> (*make)();
};

// The library's short name of an object number, or empty when it has none.
std::string_view ObjectShortName(int objectNumber);

// Null when the identifier names no software cipher or digest we carry.
const CipherEntry* FindCipher(int objectNumber);
const DigestEntry* FindDigest(int objectNumber);

// SHA-1, for users whose keys are held by a key device.
std::unique_ptr<MessageDigest> MakeSha1();
