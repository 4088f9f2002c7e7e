#pragma once
// The contents of a package's files, streamed through the engine's bulk cipher in blocks of
// kStreamBlockSize through one input and one output buffer: a file's CRC over its ciphertext,
// and (envelopes) the signature's or verification's digest over its plaintext. Memory does not
// grow with a file's size. One stream serves one pass; its buffers are made once.

#include <openssl/crypto.h>

#include <cstdint>
#include <memory>

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

class ContentStream {
public:
    // What is done with the plaintext besides enciphering it: nothing, the engine's signature
    // digest (Evp_SignUpdate), or its verification digest (Evp_VerifyUpdate).
    enum class Digest { kNone, kSign, kVerify };

    ContentStream(CKorvane& engine, Digest digest);
    ~ContentStream();
    ContentStream(const ContentStream&) = delete;
    ContentStream& operator=(const ContentStream&) = delete;

    // Appends the source's ciphertext at the package's end. Refuses ("加密文件包太大...") a
    // content that would start beyond 1,500,000,000 bytes or end beyond 32-bit offsets.
    int Encrypt(const ContentKey& key, CFile& source, CFile* package, ContentPlace* place);

    // Deciphers the content at place into output (null: read through only, for the CRC and the
    // digest). *crc is the CRC of the ciphertext read; the caller compares it. A short package
    // shows "加密文件损坏, 不能正确解密-6.".
    int Decrypt(const ContentKey& key, CFile* package, const ContentPlace& place, CFile* output, uint16_t* crc);

private:
    void Feed(const unsigned char* plain, int length);

    CKorvane& m_engine;
    Digest m_digest;
    std::unique_ptr<unsigned char[]> m_in;
    std::unique_ptr<unsigned char[]> m_out;
};
