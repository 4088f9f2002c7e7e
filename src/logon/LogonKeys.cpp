#include "logon/LogonKeys.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "logon/CertProfile.h"
#include "logon/Scrypt.h"
#include "platform/SslHandles.h"

namespace logon {
namespace {

struct P8InfoFree {
    void operator()(PKCS8_PRIV_KEY_INFO* p) const { PKCS8_PRIV_KEY_INFO_free(p); }
};
struct SigFree {
    void operator()(X509_SIG* p) const { X509_SIG_free(p); }
};
struct NameFree {
    void operator()(X509_NAME* p) const { X509_NAME_free(p); }
};

constexpr size_t kHashLength = 32;
constexpr long kValidSeconds = 10L * 365 * 24 * 3600;

std::string NameEntry(const X509* cert, int nid) {
    const X509_NAME* name = X509_get_subject_name(cert);
    if (name == nullptr) return {};
    int at = X509_NAME_get_index_by_NID(name, nid, -1);
    if (at < 0) return {};
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at));
    unsigned char* utf8 = nullptr;
    int n = ASN1_STRING_to_UTF8(&utf8, data);
    if (n < 0) return {};
    std::string out(reinterpret_cast<char*>(utf8), static_cast<size_t>(n));
    OPENSSL_free(utf8);
    return out;
}

std::string ReadBio(BIO* bio) {
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

// Hands the password with its explicit length to PEM decryption.
struct Passphrase {
    const char* data;
    size_t length;
};

int PassphraseCallback(char* buf, int size, int /*rwflag*/, void* u) {
    const auto* p = static_cast<const Passphrase*>(u);
    if (p->length > static_cast<size_t>(size)) return -1;
    std::memcpy(buf, p->data, p->length);
    return static_cast<int>(p->length);
}

// Runs an EVP_PKEY encrypt/decrypt-style operation with OAEP padding set up.
template <typename Init, typename Op>
int RunOaep(EVP_PKEY* key, Init init, Op op, const unsigned char* in, size_t length, unsigned char* out, size_t room) {
    if (key == nullptr || in == nullptr || out == nullptr) return -1;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!ctx || init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_rsa_oaep_md(ctx.get(), EVP_sha256()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), EVP_sha256()) <= 0) {
        return -1;
    }
    size_t needed = 0;
    if (op(ctx.get(), nullptr, &needed, in, length) <= 0 || needed > room) {
        // The size query of a decryption is an upper bound; use a scratch buffer.
        if (needed == 0 || needed > 16384) return -1;
        std::vector<unsigned char> scratch(needed);
        size_t got = needed;
        int ok = op(ctx.get(), scratch.data(), &got, in, length);
        int result = (ok > 0 && got <= room) ? static_cast<int>(got) : -1;
        if (result > 0) std::memcpy(out, scratch.data(), got);
        OPENSSL_cleanse(scratch.data(), scratch.size());
        return result;
    }
    size_t got = room;
    if (op(ctx.get(), out, &got, in, length) <= 0) return -1;
    return static_cast<int>(got);
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

bool Unhex(std::string_view text, std::vector<unsigned char>& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        auto r = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (r.ec != std::errc() || r.ptr != text.data() + i + 2) return false;
        out.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

}  // namespace

PkeyPtr GenerateRsaKey(int bits) { return PkeyPtr(EVP_RSA_gen(static_cast<unsigned int>(bits))); }

namespace {

// A user's certificate for key (its public half is all that is read), not yet signed.
X509Ptr UnsignedCert(EVP_PKEY* key, const std::string& name, const std::string& email, long serial) {
    X509Ptr cert(X509_new());
    std::unique_ptr<X509_NAME, NameFree> subject(X509_NAME_new());
    if (!cert || !subject || key == nullptr) return nullptr;
    auto text = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.c_str()); };
    bool ok = X509_set_version(cert.get(), 2) == 1 &&
              ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial) == 1 &&
              X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
              X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidSeconds) != nullptr &&
              X509_NAME_add_entry_by_NID(subject.get(), NID_commonName, MBSTRING_UTF8, text(name), -1, -1, 0) == 1;
    if (ok && !email.empty()) {
        ok = X509_NAME_add_entry_by_NID(subject.get(), NID_pkcs9_emailAddress, MBSTRING_ASC, text(email), -1, -1, 0) ==
             1;
    }
    ok = ok && X509_set_subject_name(cert.get(), subject.get()) == 1 &&
         X509_set_issuer_name(cert.get(), subject.get()) == 1 && X509_set_pubkey(cert.get(), key) == 1 &&
         AddUserCertExtensions(cert.get(), email);
    return ok ? std::move(cert) : nullptr;
}

// DER of DigestInfo { sha256, NULL } ahead of the 32 digest bytes.
constexpr unsigned char kSha256DigestInfo[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                               0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

}  // namespace

X509Ptr MakeSelfSignedCert(EVP_PKEY* key, const std::string& name, const std::string& email, long serial) {
    X509Ptr cert = UnsignedCert(key, name, email, serial);
    return cert && X509_sign(cert.get(), key, EVP_sha256()) > 0 ? std::move(cert) : nullptr;
}

X509Ptr MakeSelfSignedCert(EVP_PKEY* publicKey, const std::string& name, const std::string& email, long serial,
                           const DigestInfoSigner& sign) {
    X509Ptr cert = UnsignedCert(publicKey, name, email, serial);
    if (!cert || !sign) return nullptr;
    // Both places that name the signature's algorithm, then the to-be-signed part as it will be written.
    const ASN1_BIT_STRING* signature = nullptr;
    const X509_ALGOR* outer = nullptr;
    X509_get0_signature(&signature, &outer, cert.get());
    for (const X509_ALGOR* algorithm : {outer, X509_get0_tbs_sigalg(cert.get())}) {
        if (X509_ALGOR_set0(const_cast<X509_ALGOR*>(algorithm), OBJ_nid2obj(NID_sha256WithRSAEncryption), V_ASN1_NULL,
                            nullptr) != 1) {
            return nullptr;
        }
    }
    unsigned char* tbs = nullptr;
    int tbsLength = i2d_re_X509_tbs(cert.get(), &tbs);
    unsigned char info[sizeof kSha256DigestInfo + 32];
    std::memcpy(info, kSha256DigestInfo, sizeof kSha256DigestInfo);
    bool ok = tbsLength > 0 && EVP_Digest(tbs, static_cast<size_t>(tbsLength), info + sizeof kSha256DigestInfo, nullptr,
                                          EVP_sha256(), nullptr) == 1;
    OPENSSL_free(tbs);
    unsigned char bytes[1024];
    int n = ok ? sign(info, sizeof info, bytes, sizeof bytes) : -1;
    auto* bits = const_cast<ASN1_BIT_STRING*>(signature);
    if (n <= 0 || ASN1_BIT_STRING_set(bits, bytes, n) != 1) return nullptr;
    bits->flags &= ~(ASN1_STRING_FLAG_BITS_LEFT | 0x07);
    bits->flags |= ASN1_STRING_FLAG_BITS_LEFT;
    // Whatever signed it, the certificate must verify under the key it carries.
    return X509_verify(cert.get(), publicKey) == 1 ? std::move(cert) : nullptr;
}

std::string CertSubjectName(const X509* cert) { return cert ? NameEntry(cert, NID_commonName) : std::string(); }

std::string CertEmail(const X509* cert) {
    if (cert == nullptr) return {};
    if (std::string email = NameEntry(cert, NID_pkcs9_emailAddress); !email.empty()) return email;
    // Certificates from CAs often carry the address only as the subject's alternative name.
    GeneralNamesPtr names(static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr)));
    for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
        int type = 0;
        const auto* text =
            static_cast<const ASN1_IA5STRING*>(GENERAL_NAME_get0_value(sk_GENERAL_NAME_value(names.get(), i), &type));
        if (type == GEN_EMAIL && text != nullptr && ASN1_STRING_length(text) > 0) {
            std::string email(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                              static_cast<size_t>(ASN1_STRING_length(text)));
            // An address with a NUL inside is no address.
            if (email.find('\0') == std::string::npos) return email;
        }
    }
    return {};
}

std::vector<unsigned char> CertToDer(const X509* cert) {
    if (cert == nullptr) return {};
    unsigned char* der = nullptr;
    int n = i2d_X509(cert, &der);
    if (n <= 0) return {};
    std::vector<unsigned char> out(der, der + n);
    OPENSSL_free(der);
    return out;
}

X509Ptr CertFromDer(const std::vector<unsigned char>& der) {
    const unsigned char* p = der.data();
    return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string CertToPem(const X509* cert) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || cert == nullptr || PEM_write_bio_X509(bio.get(), cert) != 1) return {};
    return ReadBio(bio.get());
}

X509Ptr ReadCertificateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) return nullptr;
    BioPtr bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
    if (!bio) return nullptr;
    X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    return cert ? std::move(cert) : CertFromDer(bytes);
}

std::vector<unsigned char> CertFingerprint(const std::vector<unsigned char>& der) {
    std::vector<unsigned char> out(EVP_MAX_MD_SIZE);
    unsigned int n = 0;
    if (EVP_Digest(der.data(), der.size(), out.data(), &n, EVP_sha256(), nullptr) != 1) return {};
    out.resize(n);
    return out;
}

PkeyPtr PublicKeyOf(const X509* cert) { return PkeyPtr(cert ? X509_get_pubkey(const_cast<X509*>(cert)) : nullptr); }

int WrapWithPublicKey(EVP_PKEY* key, const unsigned char* in, size_t length, unsigned char* out, size_t room) {
    return RunOaep(key, EVP_PKEY_encrypt_init, EVP_PKEY_encrypt, in, length, out, room);
}

int UnwrapWithPrivateKey(EVP_PKEY* key, const unsigned char* in, size_t length, unsigned char* out, size_t room) {
    return RunOaep(key, EVP_PKEY_decrypt_init, EVP_PKEY_decrypt, in, length, out, room);
}

int SignSha1Digest(EVP_PKEY* key, const unsigned char* digest, size_t digestLength, unsigned char* signature,
                   size_t room) {
    if (key == nullptr || digest == nullptr || digestLength != 20) return -1;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    size_t needed = 0;
    if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()) <= 0 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &needed, digest, digestLength) <= 0 || needed > room) {
        return -1;
    }
    size_t got = room;
    if (EVP_PKEY_sign(ctx.get(), signature, &got, digest, digestLength) <= 0) return -1;
    return static_cast<int>(got);
}

bool VerifySha1Digest(EVP_PKEY* key, const unsigned char* digest, size_t digestLength, const unsigned char* signature,
                      size_t signatureLength) {
    if (key == nullptr || digest == nullptr || signature == nullptr || digestLength != 20) {
        return false;
    }
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
           EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) > 0 &&
           EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha1()) > 0 &&
           EVP_PKEY_verify(ctx.get(), signature, signatureLength, digest, digestLength) == 1;
}

namespace {

KeyCost Effective(const KeyCost& cost) { return cost.n == 0 ? kKeyCost : cost; }

bool Scrypt(const char* password, size_t length, const std::vector<unsigned char>& salt, const KeyCost& cost,
            unsigned char* out, size_t outLength) {
    return ScryptDerive(password, length, salt.data(), salt.size(), cost.n, cost.r, cost.p, out, outLength);
}

bool Pbkdf2(const char* password, size_t length, const std::vector<unsigned char>& salt, uint32_t iterations,
            unsigned char* out, size_t outLength) {
    return PKCS5_PBKDF2_HMAC(password, static_cast<int>(length), salt.data(), static_cast<int>(salt.size()),
                             static_cast<int>(iterations), EVP_sha256(), static_cast<int>(outLength), out) == 1;
}

struct AlgorFree {
    void operator()(X509_ALGOR* p) const { X509_ALGOR_free(p); }
};
struct Pbe2Free {
    void operator()(PBE2PARAM* p) const { PBE2PARAM_free(p); }
};
struct ScryptParamsFree {
    void operator()(SCRYPT_PARAMS* p) const { SCRYPT_PARAMS_free(p); }
};
struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* p) const { EVP_CIPHER_CTX_free(p); }
};
struct OpenSslFree {
    void operator()(void* p) const { OPENSSL_free(p); }
};
// A PEM block's bytes may be a plain key (an unencrypted block, or one with the legacy
// per-block encryption undone): wiped before they are freed.
struct OpenSslClearFree {
    size_t length;
    void operator()(unsigned char* p) const { OPENSSL_clear_free(p, length); }
};

// The scrypt parameters and AES-256-CBC IV of a sealed key, when it is sealed that way.
struct ScryptSeal {
    const unsigned char* salt = nullptr;
    size_t saltLength = 0;
    uint64_t n = 0, r = 0, p = 0;
    unsigned char iv[16];
};

bool ReadScryptSeal(const X509_SIG* sealed, ScryptSeal& out, std::unique_ptr<PBE2PARAM, Pbe2Free>& pbe2,
                    std::unique_ptr<SCRYPT_PARAMS, ScryptParamsFree>& params) {
    const X509_ALGOR* algorithm = nullptr;
    X509_SIG_get0(sealed, &algorithm, nullptr);
    if (algorithm == nullptr || OBJ_obj2nid(algorithm->algorithm) != NID_pbes2) return false;
    pbe2.reset(static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter)));
    if (!pbe2 || pbe2->keyfunc == nullptr || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_scrypt ||
        pbe2->encryption == nullptr || OBJ_obj2nid(pbe2->encryption->algorithm) != NID_aes_256_cbc) {
        return false;
    }
    params.reset(static_cast<SCRYPT_PARAMS*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), pbe2->keyfunc->parameter)));
    if (!params || params->salt == nullptr || ASN1_STRING_length(params->salt) < 0 ||
        ASN1_INTEGER_get_uint64(&out.n, params->costParameter) != 1 ||
        ASN1_INTEGER_get_uint64(&out.r, params->blockSize) != 1 ||
        ASN1_INTEGER_get_uint64(&out.p, params->parallelizationParameter) != 1) {
        return false;
    }
    // A stated key length must be the cipher's.
    uint64_t keyLength = 32;
    if (params->keyLength != nullptr && ASN1_INTEGER_get_uint64(&keyLength, params->keyLength) != 1) return false;
    out.salt = ASN1_STRING_get0_data(params->salt);
    out.saltLength = static_cast<size_t>(ASN1_STRING_length(params->salt));
    return keyLength == 32 && pbe2->encryption->parameter != nullptr &&
           ASN1_TYPE_get_octetstring(pbe2->encryption->parameter, out.iv, sizeof out.iv) == sizeof out.iv;
}

// Decrypts with the derived key and checks the padding: the plain DER of the key, or empty
// (a wrong password nearly always ends here).
std::vector<unsigned char> DecryptSealed(const unsigned char* key, const unsigned char* iv,
                                         const ASN1_OCTET_STRING* data) {
    std::vector<unsigned char> plain;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    const int length = ASN1_STRING_length(data);
    if (!ctx || length <= 0 || EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1) return plain;
    plain.resize(static_cast<size_t>(length) + 16);
    int got = 0, last = 0;
    const bool ok = EVP_DecryptUpdate(ctx.get(), plain.data(), &got, ASN1_STRING_get0_data(data), length) == 1 &&
                    EVP_DecryptFinal_ex(ctx.get(), plain.data() + got, &last) == 1;
    if (!ok) {
        OPENSSL_cleanse(plain.data(), plain.size());
        plain.clear();
        return plain;
    }
    OPENSSL_cleanse(plain.data() + got + last, plain.size() - static_cast<size_t>(got + last));
    plain.resize(static_cast<size_t>(got + last));
    return plain;
}

// The key of the PEM's first private-key block when that block is sealed with scrypt and
// AES-256-CBC: the key, or null for a wrong password or a key that does not decode. Nothing
// (no derivation made) for any other block, which OpenSSL's reader then takes.
std::optional<PkeyPtr> OpenScryptSealedKey(const std::string& pem, Passphrase& pass, ScryptThreads threads) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    char* rawName = nullptr;
    unsigned char* rawData = nullptr;
    long dataLength = 0;
    // The same block selection as PEM_read_bio_PrivateKey; the callback only serves the
    // legacy per-block encryption, which is then read by OpenSSL again.
    if (!bio || PEM_bytes_read_bio(&rawData, &dataLength, &rawName, PEM_STRING_EVP_PKEY, bio.get(), PassphraseCallback,
                                   &pass) != 1) {
        return std::nullopt;
    }
    std::unique_ptr<char, OpenSslFree> name(rawName);
    std::unique_ptr<unsigned char, OpenSslClearFree> data(
        rawData, OpenSslClearFree{static_cast<size_t>(std::max(dataLength, 0L))});
    if (std::strcmp(name.get(), PEM_STRING_PKCS8) != 0) return std::nullopt;
    const unsigned char* cursor = data.get();
    std::unique_ptr<X509_SIG, SigFree> sealed(d2i_X509_SIG(nullptr, &cursor, dataLength));
    std::unique_ptr<PBE2PARAM, Pbe2Free> pbe2;
    std::unique_ptr<SCRYPT_PARAMS, ScryptParamsFree> params;
    ScryptSeal seal;
    if (!sealed || !ReadScryptSeal(sealed.get(), seal, pbe2, params)) return std::nullopt;
    // Parameters read from the file are bounded before anything is allocated; beyond the
    // bound OpenSSL's reader refuses the key too.
    if (seal.r > UINT32_MAX || seal.p > UINT32_MAX ||
        !ScryptCostAllowed(seal.n, static_cast<uint32_t>(seal.r), static_cast<uint32_t>(seal.p))) {
        return PkeyPtr();
    }
    unsigned char key[32];
    if (!ScryptDerive(pass.data, pass.length, seal.salt, seal.saltLength, seal.n, static_cast<uint32_t>(seal.r),
                      static_cast<uint32_t>(seal.p), key, sizeof key, ScryptCore::kFastest, threads)) {
        return PkeyPtr();
    }
    const ASN1_OCTET_STRING* encrypted = nullptr;
    X509_SIG_get0(sealed.get(), nullptr, &encrypted);
    std::vector<unsigned char> plain = DecryptSealed(key, seal.iv, encrypted);
    OPENSSL_cleanse(key, sizeof key);
    if (plain.empty()) return PkeyPtr();
    const unsigned char* p = plain.data();
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, P8InfoFree> info(
        d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(plain.size())));
    OPENSSL_cleanse(plain.data(), plain.size());
    return info ? PkeyPtr(EVP_PKCS82PKEY(info.get())) : PkeyPtr();
}

}  // namespace

std::string ExportPrivateKeyPem(EVP_PKEY* key, const char* password, size_t length, const KeyCost& cost) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || key == nullptr || password == nullptr || length > 1024) return {};
    // Built by hand rather than with PEM_write_bio_PKCS8PrivateKey, whose PBKDF2 count and
    // 8-byte salt are OpenSSL's small defaults.
    std::unique_ptr<PKCS8_PRIV_KEY_INFO, P8InfoFree> info(EVP_PKEY2PKCS8(key));
    if (!info) return {};
    const KeyCost c = Effective(cost);
    std::unique_ptr<X509_ALGOR, AlgorFree> pbe(
        PKCS5_pbe2_set_scrypt(EVP_aes_256_cbc(), nullptr, static_cast<int>(kKeySaltLength), nullptr, c.n, c.r, c.p));
    if (!pbe) return {};
    std::unique_ptr<X509_SIG, SigFree> sealed(
        PKCS8_set0_pbe(password, static_cast<int>(length), info.get(), pbe.get()));
    if (!sealed) return {};
    pbe.release();  // owned by sealed now
    if (PEM_write_bio_PKCS8(bio.get(), sealed.get()) != 1) return {};
    return ReadBio(bio.get());
}

PkeyPtr ImportPrivateKeyPem(const std::string& pem, const char* password, size_t length, ScryptThreads threads) {
    if (pem.size() > INT_MAX) return nullptr;
    Passphrase pass{password, length};
    // The key block OpenSSL's reader would take; when it is ours (scrypt, AES-256-CBC) it is
    // opened here, where the derivation is faster. Every other form is read as before.
    std::optional<PkeyPtr> opened = OpenScryptSealedKey(pem, pass, threads);
    if (opened) return std::move(*opened);
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return nullptr;
    return PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, PassphraseCallback, &pass));
}

bool KeyPemNeedsNewCost(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    std::unique_ptr<X509_SIG, SigFree> sealed(bio ? PEM_read_bio_PKCS8(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!sealed) return false;
    const X509_ALGOR* algorithm = nullptr;
    X509_SIG_get0(sealed.get(), &algorithm, nullptr);
    if (algorithm == nullptr || OBJ_obj2nid(algorithm->algorithm) != NID_pbes2) return true;
    std::unique_ptr<PBE2PARAM, Pbe2Free> pbe2(
        static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter)));
    if (!pbe2 || pbe2->keyfunc == nullptr || OBJ_obj2nid(pbe2->keyfunc->algorithm) != NID_id_scrypt) return true;
    std::unique_ptr<SCRYPT_PARAMS, ScryptParamsFree> params(static_cast<SCRYPT_PARAMS*>(
        ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(SCRYPT_PARAMS), pbe2->keyfunc->parameter)));
    return !params || params->salt == nullptr || static_cast<size_t>(ASN1_STRING_length(params->salt)) < kKeySaltLength;
}

PasswordVerifier MakePasswordVerifier(const char* password, size_t length, const KeyCost& cost) {
    PasswordVerifier v;
    v.cost = Effective(cost);
    v.salt.resize(kKeySaltLength);
    v.hash.resize(kHashLength);
    if (RAND_bytes(v.salt.data(), static_cast<int>(v.salt.size())) != 1 ||
        !Scrypt(password, length, v.salt, v.cost, v.hash.data(), v.hash.size())) {
        return {};
    }
    return v;
}

bool CheckPasswordVerifier(const PasswordVerifier& verifier, const char* password, size_t length) {
    if (verifier.hash.size() != kHashLength || verifier.salt.empty()) return false;
    if (verifier.scrypt ? verifier.cost.n == 0 : verifier.iterations == 0) return false;
    unsigned char derived[kHashLength];
    bool ok = (verifier.scrypt ? Scrypt(password, length, verifier.salt, verifier.cost, derived, kHashLength)
                               : Pbkdf2(password, length, verifier.salt, verifier.iterations, derived, kHashLength)) &&
              CRYPTO_memcmp(derived, verifier.hash.data(), kHashLength) == 0;
    OPENSSL_cleanse(derived, sizeof derived);
    return ok;
}

bool VerifierNeedsNewCost(const PasswordVerifier& verifier) {
    return !verifier.scrypt || verifier.salt.size() < kKeySaltLength;
}

std::string EncodeVerifier(const PasswordVerifier& v) {
    if (!v.scrypt) return "pbkdf2-sha256$" + std::to_string(v.iterations) + "$" + Hex(v.salt) + "$" + Hex(v.hash);
    return "scrypt$" + std::to_string(v.cost.n) + "$" + std::to_string(v.cost.r) + "$" + std::to_string(v.cost.p) +
           "$" + Hex(v.salt) + "$" + Hex(v.hash);
}

namespace {

// The fields of "a$b$c..." after the tag; false unless there are exactly `count`.
bool SplitFields(std::string_view text, size_t count, std::vector<std::string_view>& out) {
    out.clear();
    for (;;) {
        size_t at = text.find('$');
        out.push_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return out.size() == count;
}

template <typename N>
bool Number(std::string_view text, N& out) {
    auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && out != 0;
}

}  // namespace

bool DecodeVerifier(std::string_view text, PasswordVerifier& out) {
    constexpr std::string_view kPbkdf2 = "pbkdf2-sha256$", kScrypt = "scrypt$";
    std::vector<std::string_view> f;
    PasswordVerifier v;
    bool ok = false;
    if (text.substr(0, kScrypt.size()) == kScrypt) {
        ok = SplitFields(text.substr(kScrypt.size()), 5, f) && Number(f[0], v.cost.n) && Number(f[1], v.cost.r) &&
             Number(f[2], v.cost.p) && (v.cost.n & (v.cost.n - 1)) == 0 && Unhex(f[3], v.salt) && Unhex(f[4], v.hash);
    } else if (text.substr(0, kPbkdf2.size()) == kPbkdf2) {
        v.scrypt = false;
        ok = SplitFields(text.substr(kPbkdf2.size()), 3, f) && Number(f[0], v.iterations) && Unhex(f[1], v.salt) &&
             Unhex(f[2], v.hash);
    }
    if (!ok || v.salt.empty() || v.hash.size() != kHashLength) return false;
    out = std::move(v);
    return true;
}

}  // namespace logon
