#include "engine/CipherTable.h"

#include <gcrypt.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>

#include <cstring>
#include <type_traits>

#include "engine/Sha0.h"
#include "platform/SslHandles.h"

namespace {

// ---- Bulk ciphers: libgcrypt, 64-bit OFB -------------------------------------------------------

bool GcryptReady() {
    static const bool ready = [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;
        if (!gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) {
            gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
            gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        }
        return true;
    }();
    return ready;
}

struct GcryClose {
    void operator()(gcry_cipher_hd_t h) const { gcry_cipher_close(h); }
};
using GcryHandle = std::unique_ptr<std::remove_pointer_t<gcry_cipher_hd_t>, GcryClose>;

class GcryOfb final : public SoftCipher {
public:
    explicit GcryOfb(GcryHandle handle) : m_handle(std::move(handle)) {}

    bool Update(unsigned char* out, const unsigned char* in, size_t length) override {
        if (length == 0) return true;
        if (out == in) return gcry_cipher_encrypt(m_handle.get(), out, length, nullptr, 0) == 0;
        // The library refuses partly overlapping buffers: bring the input into place first.
        if (out < in + length && in < out + length) {
            std::memmove(out, in, length);
            return gcry_cipher_encrypt(m_handle.get(), out, length, nullptr, 0) == 0;
        }
        return gcry_cipher_encrypt(m_handle.get(), out, length, in, length) == 0;
    }

private:
    GcryHandle m_handle;
};

// OFB runs the block cipher forwards in both directions, so one session type serves both.
std::unique_ptr<SoftCipher> OpenOfb(int algorithm, const unsigned char* key, size_t keyLength,
                                    const unsigned char* iv) {
    if (!GcryptReady()) return nullptr;
    gcry_cipher_hd_t raw = nullptr;
    if (gcry_cipher_open(&raw, algorithm, GCRY_CIPHER_MODE_OFB, 0) != 0) return nullptr;
    GcryHandle handle(raw);
    // Keys are random or derived from passwords; a weak DES key is as usable as any other,
    // and files written with one must stay readable.
    gcry_cipher_ctl(handle.get(), GCRYCTL_SET_ALLOW_WEAK_KEY, nullptr, 1);
    gcry_error_t rc = gcry_cipher_setkey(handle.get(), key, keyLength);
    if (rc != 0 && gcry_err_code(rc) != GPG_ERR_WEAK_KEY) return nullptr;
    if (gcry_cipher_setiv(handle.get(), iv, 8) != 0) return nullptr;
    return std::make_unique<GcryOfb>(std::move(handle));
}

std::unique_ptr<SoftCipher> MakeDesOfb(const unsigned char* key, const unsigned char* iv) {
    return OpenOfb(GCRY_CIPHER_DES, key, 8, iv);
}

std::unique_ptr<SoftCipher> MakeIdeaOfb(const unsigned char* key, const unsigned char* iv) {
    return OpenOfb(GCRY_CIPHER_IDEA, key, 16, iv);
}

// Two-key triple DES: K1 K2 K1.
std::unique_ptr<SoftCipher> MakeDesEdeOfb(const unsigned char* key, const unsigned char* iv) {
    unsigned char k3[24];
    std::memcpy(k3, key, 16);
    std::memcpy(k3 + 16, key, 8);
    auto cipher = OpenOfb(GCRY_CIPHER_3DES, k3, sizeof k3, iv);
    OPENSSL_cleanse(k3, sizeof k3);
    return cipher;
}

const CipherEntry kCiphers[] = {
    {"DES-OFB", 8, 8, MakeDesOfb},
    {"IDEA-OFB", 16, 8, MakeIdeaOfb},
    {"DES-EDE-OFB", 16, 8, MakeDesEdeOfb},
};

// ---- Digests -----------------------------------------------------------------------------------

class EvpDigest final : public MessageDigest {
public:
    explicit EvpDigest(const EVP_MD* md) : m_md(md), m_ctx(EVP_MD_CTX_new()) {
        m_ok = m_ctx && EVP_DigestInit_ex(m_ctx.get(), m_md, nullptr) == 1;
    }
    bool Update(const unsigned char* data, size_t length) override {
        if (length == 0) return m_ok;
        m_ok = m_ok && EVP_DigestUpdate(m_ctx.get(), data, length) == 1;
        return m_ok;
    }
    bool Final(unsigned char* digest) override {
        unsigned int n = 0;
        bool ok = m_ok && EVP_DigestFinal_ex(m_ctx.get(), digest, &n) == 1 && n == Length();
        m_ok = false;  // a finished context takes no more data
        return ok;
    }
    size_t Length() const override { return static_cast<size_t>(EVP_MD_get_size(m_md)); }

private:
    const EVP_MD* m_md;
    MdCtxPtr m_ctx;
    bool m_ok = false;
};

class Sha0Digest final : public MessageDigest {
public:
    bool Update(const unsigned char* data, size_t length) override {
        if (length > 0) m_sha.Update(data, length);
        return true;
    }
    bool Final(unsigned char* digest) override {
        m_sha.Final(digest);
        return true;
    }
    size_t Length() const override { return Sha0::kDigestLength; }

private:
    Sha0 m_sha;
};

std::unique_ptr<MessageDigest> MakeMd5() { return std::make_unique<EvpDigest>(EVP_md5()); }
std::unique_ptr<MessageDigest> MakeSha0() { return std::make_unique<Sha0Digest>(); }

// DigestInfo prefixes: SEQUENCE { SEQUENCE { OID, NULL }, OCTET STRING digest }.
const unsigned char kMd5Info[] = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                  0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
const unsigned char kSha0Info[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                   0x03, 0x02, 0x12, 0x05, 0x00, 0x04, 0x14};  // 1.3.14.3.2.18

const DigestEntry kDigests[] = {
    {"RSA-MD5", 16, kMd5Info, sizeof kMd5Info, MakeMd5},
    {"RSA-SHA", Sha0::kDigestLength, kSha0Info, sizeof kSha0Info, MakeSha0},
};

}  // namespace

std::string_view ObjectShortName(int objectNumber) {
    if (objectNumber <= 0) return {};
    const char* name = OBJ_nid2sn(objectNumber);
    if (name == nullptr) {
        ERR_clear_error();  // an unknown number is an answer, not an error to keep
        return {};
    }
    return name;
}

const CipherEntry* FindCipher(int objectNumber) {
    std::string_view name = ObjectShortName(objectNumber);
    for (const CipherEntry& e : kCiphers)
        if (!name.empty() && name == e.shortName) return &e;
    return nullptr;
}

const DigestEntry* FindDigest(int objectNumber) {
    std::string_view name = ObjectShortName(objectNumber);
    for (const DigestEntry& e : kDigests)
        if (!name.empty() && name == e.shortName) return &e;
    return nullptr;
}

std::unique_ptr<MessageDigest> MakeSha1() { return std::make_unique<EvpDigest>(EVP_sha1()); }
