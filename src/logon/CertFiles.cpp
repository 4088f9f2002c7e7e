#include "logon/CertFiles.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <openssl/x509v3.h>

#include <climits>
#include <memory>

#include "platform/Secret.h"
#include "platform/SslHandles.h"

namespace logon {
namespace {

struct Pkcs7Free {
    void operator()(PKCS7* p) const { PKCS7_free(p); }
};
struct Pkcs12Free {
    void operator()(PKCS12* p) const { PKCS12_free(p); }
};
struct X509StackFree {
    void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Pkcs7Free>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackFree>;

// A chain longer than this is no chain a person's certificate comes with.
constexpr size_t kMaxChain = 10;

BioPtr MemoryBio(const std::vector<unsigned char>& bytes) {
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// Copies of the certificates of a signed-data bundle (the only kind that carries them).
void TakeBundle(const PKCS7* p7, std::vector<X509Ptr>& out) {
    if (p7 == nullptr || OBJ_obj2nid(p7->type) != NID_pkcs7_signed || p7->d.sign == nullptr) return;
    STACK_OF(X509)* certs = p7->d.sign->cert;
    for (int i = 0; certs != nullptr && i < sk_X509_num(certs); ++i) {
        X509* cert = sk_X509_value(certs, i);
        if (X509_up_ref(cert) == 1) out.emplace_back(cert);
    }
}

void TakeStack(STACK_OF(X509) * certs, std::vector<X509Ptr>& out) {
    for (int i = 0; certs != nullptr && i < sk_X509_num(certs); ++i) {
        X509* cert = sk_X509_value(certs, i);
        if (X509_up_ref(cert) == 1) out.emplace_back(cert);
    }
}

}  // namespace

std::vector<X509Ptr> ReadCertificates(const std::vector<unsigned char>& bytes) {
    std::vector<X509Ptr> out;
    // PEM: every certificate in the text; else a PKCS#7 block.
    if (BioPtr bio = MemoryBio(bytes)) {
        while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) out.emplace_back(cert);
    }
    if (out.empty()) {
        if (BioPtr bio = MemoryBio(bytes))
            TakeBundle(Pkcs7Ptr(PEM_read_bio_PKCS7(bio.get(), nullptr, nullptr, nullptr)).get(), out);
    }
    // DER: one certificate that fills the bytes, else a PKCS#7 bundle.
    if (out.empty() && !bytes.empty()) {
        const unsigned char* p = bytes.data();
        X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(bytes.size())));
        if (cert && p == bytes.data() + bytes.size()) out.push_back(std::move(cert));
    }
    if (out.empty() && !bytes.empty()) {
        const unsigned char* p = bytes.data();
        TakeBundle(Pkcs7Ptr(d2i_PKCS7(nullptr, &p, static_cast<long>(bytes.size()))).get(), out);
    }
    ERR_clear_error();  // the tries that found nothing leave their reasons queued
    return out;
}

bool SelfIssued(const X509* cert) {
    return cert != nullptr && X509_NAME_cmp(X509_get_subject_name(cert), X509_get_issuer_name(cert)) == 0;
}

std::vector<X509Ptr> IssuerChain(const X509* leaf, const std::vector<X509Ptr>& others) {
    std::vector<X509Ptr> chain;
    std::vector<bool> used(others.size(), false);
    auto* current = const_cast<X509*>(leaf);
    while (current != nullptr && chain.size() < kMaxChain && !SelfIssued(current)) {
        X509* next = nullptr;
        for (size_t i = 0; i < others.size() && next == nullptr; ++i) {
            X509* candidate = others[i].get();
            if (used[i] || X509_check_issued(candidate, current) != X509_V_OK) continue;
            PkeyPtr key(X509_get_pubkey(candidate));
            if (key && X509_verify(current, key.get()) == 1 && X509_up_ref(candidate) == 1) {
                used[i] = true;
                next = candidate;
            }
        }
        if (next == nullptr) break;
        chain.emplace_back(next);
        current = next;
    }
    ERR_clear_error();
    return chain;
}

std::vector<unsigned char> ChainToDer(const std::vector<X509Ptr>& chain) {
    std::vector<unsigned char> out;
    for (const X509Ptr& cert : chain) {
        unsigned char* der = nullptr;
        int n = i2d_X509(cert.get(), &der);
        if (n <= 0) return {};
        out.insert(out.end(), der, der + n);
        OPENSSL_free(der);
    }
    return out;
}

std::vector<X509Ptr> ChainFromDer(const std::vector<unsigned char>& der) {
    std::vector<X509Ptr> out;
    const unsigned char* p = der.data();
    const unsigned char* end = der.data() + der.size();
    while (p < end) {
        X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(end - p)));
        if (!cert) break;
        out.push_back(std::move(cert));
    }
    ERR_clear_error();
    return out;
}

Pkcs12Result ReadPkcs12(const std::vector<unsigned char>& bytes, std::string_view password, Pkcs12Contents& out) {
    BioPtr bio = MemoryBio(bytes);
    std::unique_ptr<PKCS12, Pkcs12Free> p12(bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr);
    if (!p12) {
        ERR_clear_error();
        return Pkcs12Result::kNotPkcs12;
    }
    const SecretText pass(password);
    if (PKCS12_mac_present(p12.get()) &&
        PKCS12_verify_mac(p12.get(), pass.c_str(), static_cast<int>(pass.size())) != 1) {
        ERR_clear_error();
        return Pkcs12Result::kWrongPassword;
    }
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* others = nullptr;
    int parsed = PKCS12_parse(p12.get(), pass.c_str(), &key, &cert, &others);
    if (parsed != 1) {
        // Files written by older tools encrypt with ciphers kept in the legacy provider (RC2,
        // 40-bit RC4): made available for this once it is clear the password was right.
        ERR_clear_error();
        static OSSL_PROVIDER* legacy = OSSL_PROVIDER_try_load(nullptr, "legacy", 1);
        if (legacy != nullptr) parsed = PKCS12_parse(p12.get(), pass.c_str(), &key, &cert, &others);
    }
    ERR_clear_error();
    if (parsed != 1) return Pkcs12Result::kUnreadable;
    out.key.reset(key);
    out.cert.reset(cert);
    X509StackPtr rest(others);
    TakeStack(rest.get(), out.others);
    return out.key ? Pkcs12Result::kOk : Pkcs12Result::kNoKey;
}

}  // namespace logon
