#pragma once
// The contents of a package's files, streamed through the engine's bulk cipher in blocks of
// kStreamBlockSize: a file's CRC over what is stored, and (signed packages) the signature's or
// verification's digest over its plaintext. The files are read ahead and written behind on a
// second thread (package/BlockPipe.h) and the digest runs on a third (package/DigestThread.h),
// while the cipher, the CRC, every message and the progress stay on the caller's thread. When a
// call returns, every byte is written; the digest may still be running over the last files, and
// FinishDigest waits for it. Memory does not grow with a file's size. One stream serves one pass; its ring of block
// buffers is made once, and so is the key stream its files share (package/KeyStream.h).

#include <openssl/crypto.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "package/BlockPipe.h"
#include "package/DigestThread.h"
#include "package/KeyStream.h"
#include "package/Messages.h"

class CKorvane;
class CFile;

// The key and IV every file of a package is enciphered from, and the cipher. Rooms are larger
// than any cipher's key or IV and zero beyond what was set; wiped when released.
struct Encrypt_Data;

struct ContentKey {
    unsigned char key[128] = {};
    unsigned char iv[1000] = {};
    int cipherId = 0;

    ContentKey() = default;
    // The key, IV and cipher of an encryption pass's arguments.
    explicit ContentKey(const Encrypt_Data& data);
    // A key and IV of the given lengths (what exceeds the rooms is not taken).
    ContentKey(const unsigned char* keyBytes, size_t keyLength, const unsigned char* ivBytes, size_t ivLength,
               int cipher);
    ContentKey(const ContentKey&) = delete;
    ContentKey& operator=(const ContentKey&) = delete;
    ~ContentKey() {
        OPENSSL_cleanse(key, sizeof key);
        OPENSSL_cleanse(iv, sizeof iv);
    }
};

// Where one file's ciphertext lies in the package and its CRC.
struct ContentPlace {
    int32_t offset = 0;
    int32_t length = 0;
    uint16_t crc = 0;
};

// What a layout says when a content does not fit or is cut short, and how far its offsets
// reach. The defaults are the secured packages'.
struct ContentRules {
    const MessageDef* tooLarge = &msg::package::TooLarge;
    const MessageDef* dataShort = &msg::package::DataShort;
    // Whether a content's end must also be a 32-bit offset (mail: the offset of the next
    // content or of the signature block is stored behind it).
    bool endIsOffset = false;
};

class ContentStream {
public:
    // What is done with the plaintext besides enciphering it: nothing, the engine's signature
    // digest (Evp_SignUpdate), or its verification digest (Evp_VerifyUpdate).
    enum class Digest { kNone, kSign, kVerify };

    ContentStream(CKorvane& engine, Digest digest, const ContentRules& rules = {});
    ~ContentStream();
    ContentStream(const ContentStream&) = delete;
    ContentStream& operator=(const ContentStream&) = delete;

    // Appends the source's ciphertext (null key: the source as it is) at the package's end.
    // Refuses (rules.tooLarge) a content that would start beyond 1,500,000,000 bytes or not fit
    // 31-bit lengths, and under rules.endIsOffset one whose end is beyond a 32-bit offset.
    int Encrypt(const ContentKey* key, CFile& source, CFile* package, ContentPlace* place);
    int Encrypt(const ContentKey& key, CFile& source, CFile* package, ContentPlace* place) {
        return Encrypt(&key, source, package, place);
    }

    // Deciphers (null key: copies) the content at place into output (null: read through only,
    // for the CRC and the digest). *crc is the CRC of the bytes read; the caller compares it.
    // A short package shows rules.dataShort. A package held in memory is read in place.
    int Decrypt(const ContentKey* key, CFile* package, const ContentPlace& place, CFile* output, uint16_t* crc);
    int Decrypt(const ContentKey& key, CFile* package, const ContentPlace& place, CFile* output, uint16_t* crc) {
        return Decrypt(&key, package, place, output, crc);
    }

    // Returns once everything the content calls fed to the digest is in the engine's digest.
    // Whoever finishes or reads the engine's digest calls this first; until then the digest
    // may be running on its own thread. The plaintext fed is the stream's copy: the caller's
    // buffers and files are free as soon as a content call returns.
    void FinishDigest();

private:
    void Feed(const unsigned char* plain, int length);
    // Enciphers or deciphers one block through the shared key stream when it serves this file,
    // else through the engine's cipher (which shows its own failure).
    bool Transform(bool encrypt, unsigned char* out, int* produced, const unsigned char* in, int length);
    bool Fits(uint64_t start, uint64_t total) const;

    CKorvane& m_engine;
    Digest m_digest;
    ContentRules m_rules;
    BlockRing m_ring;
    KeyStream m_keyStream;
    std::unique_ptr<DigestThread> m_digestThread;  // signed and verified passes only
    bool m_streamed = false;                       // the current file goes through m_keyStream
};
