#include "logon/CertProfile.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

#include "logon/LogonKeys.h"
#include "logon/StoreMessages.h"
#include "platform/SslHandles.h"

namespace logon {
namespace {

struct ExtFree {
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
struct ExtStackFree {
    void operator()(STACK_OF(X509_EXTENSION) * p) const { sk_X509_EXTENSION_pop_free(p, X509_EXTENSION_free); }
};
struct ReqFree {
    void operator()(X509_REQ* p) const { X509_REQ_free(p); }
};
using ExtPtr = std::unique_ptr<X509_EXTENSION, ExtFree>;
using ExtStackPtr = std::unique_ptr<STACK_OF(X509_EXTENSION), ExtStackFree>;

// The fixed extensions, in the order they are written. Their values are constants: nothing a
// user typed goes through OpenSSL's configuration syntax (an address is built below).
struct FixedExtension {
    int nid;
    const char* value;
};
constexpr FixedExtension kFixedExtensions[] = {
    {NID_basic_constraints, "critical,CA:FALSE"},
    {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
    {NID_ext_key_usage, "emailProtection"},
};

// subjectAltName holding the one address, built as a structure: an address is never parsed.
ExtPtr EmailAltName(const std::string& email) {
    GeneralNamesPtr names(GENERAL_NAMES_new());
    GENERAL_NAME* name = GENERAL_NAME_new();
    ASN1_IA5STRING* text = ASN1_IA5STRING_new();
    bool ok = names && name && text && ASN1_STRING_set(text, email.data(), static_cast<int>(email.size())) == 1;
    if (!ok) {
        GENERAL_NAME_free(name);
        ASN1_IA5STRING_free(text);
        return nullptr;
    }
    GENERAL_NAME_set0_value(name, GEN_EMAIL, text);
    if (sk_GENERAL_NAME_push(names.get(), name) <= 0) {
        GENERAL_NAME_free(name);
        return nullptr;
    }
    return ExtPtr(X509V3_EXT_i2d(NID_subject_alt_name, 0, names.get()));
}

// The extensions a request asks for and a certificate carries (the key identifier aside,
// which needs the certificate).
ExtStackPtr UserExtensions(const std::string& email) {
    ExtStackPtr exts(sk_X509_EXTENSION_new_null());
    if (!exts) return nullptr;
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, nullptr, nullptr, nullptr, nullptr, 0);
    auto push = [&](ExtPtr ext) { return ext && sk_X509_EXTENSION_push(exts.get(), ext.get()) > 0 && ext.release(); };
    for (const FixedExtension& fixed : kFixedExtensions) {
        if (!push(ExtPtr(X509V3_EXT_conf_nid(nullptr, &ctx, fixed.nid, fixed.value)))) return nullptr;
    }
    if (!email.empty() && !push(EmailAltName(email))) return nullptr;
    return exts;
}

}  // namespace

bool AddUserCertExtensions(X509* cert, const std::string& email) {
    ExtStackPtr exts = cert ? UserExtensions(email) : nullptr;
    if (!exts) return false;
    for (int i = 0; i < sk_X509_EXTENSION_num(exts.get()); ++i) {
        if (X509_add_ext(cert, sk_X509_EXTENSION_value(exts.get(), i), -1) != 1) return false;
    }
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    ExtPtr keyId(X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_key_identifier, "hash"));
    return keyId && X509_add_ext(cert, keyId.get(), -1) == 1;
}

std::string MakeCertRequestPem(EVP_PKEY* key, const X509* current) {
    std::unique_ptr<X509_REQ, ReqFree> req(X509_REQ_new());
    if (!req || key == nullptr || current == nullptr) return {};
    // The address the certificate names, wherever it stands there (see CertEmail).
    ExtStackPtr exts = UserExtensions(CertEmail(current));
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!exts || !bio || X509_REQ_set_version(req.get(), 0) != 1 ||
        X509_REQ_set_subject_name(req.get(), X509_get_subject_name(current)) != 1 ||
        X509_REQ_set_pubkey(req.get(), key) != 1 || X509_REQ_add_extensions(req.get(), exts.get()) != 1 ||
        X509_REQ_sign(req.get(), key, EVP_sha256()) <= 0 || PEM_write_bio_X509_REQ(bio.get(), req.get()) != 1) {
        return {};
    }
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

bool IsCaCert(const X509* cert) {
    return cert != nullptr && (X509_get_extension_flags(const_cast<X509*>(cert)) & EXFLAG_CA) != 0;
}

int CertValidityNow(const X509* cert) {
    if (X509_cmp_current_time(X509_get0_notBefore(cert)) > 0) return -1;
    // 0 is an unreadable time: taken as expired, never as valid.
    return X509_cmp_current_time(X509_get0_notAfter(cert)) > 0 ? 0 : 1;
}

std::string CertTimeText(const ASN1_TIME* time) {
    struct tm tm {};
    char text[32];
    if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1 ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm) == 0) {
        return {};
    }
    return text;
}

namespace {

std::string NameLine(const X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    // UTF-8 stays as it is; control characters and the separators are escaped.
    constexpr unsigned long kFlags = XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB;
    if (!bio || name == nullptr || X509_NAME_print_ex(bio.get(), name, 0, kFlags) < 0) return {};
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return n > 0 ? std::string(data, static_cast<size_t>(n)) : std::string();
}

}  // namespace

CertSummary SummarizeCert(const X509* cert) {
    CertSummary out;
    if (cert == nullptr) return out;
    out.subject = NameLine(X509_get_subject_name(cert));
    out.issuer = NameLine(X509_get_issuer_name(cert));
    out.email = CertEmail(cert);
    out.notBefore = CertTimeText(X509_get0_notBefore(cert));
    out.notAfter = CertTimeText(X509_get0_notAfter(cert));
    out.validity = CertValidityNow(cert);
    static const char kDigits[] = "0123456789ABCDEF";
    for (unsigned char b : CertFingerprint(CertToDer(cert))) {
        if (!out.fingerprint.empty()) out.fingerprint += ':';
        out.fingerprint += kDigits[b >> 4];
        out.fingerprint += kDigits[b & 15];
    }
    return out;
}

std::string UserCertProblem(const X509* cert) {
    if (cert == nullptr) return MessageText(msg::logon_store::NoCertificate);
    auto* x = const_cast<X509*>(cert);
    const uint32_t flags = X509_get_extension_flags(x);
    if (flags & EXFLAG_INVALID) return MessageText(msg::logon_store::ExtensionsUnreadable);
    if (IsCaCert(cert)) return MessageText(msg::logon_store::IsCaCert);
    switch (CertValidityNow(cert)) {
        case -1:
            return MessageText(msg::logon_store::NotValidBefore, CertTimeText(X509_get0_notBefore(cert)));
        case 1:
            return MessageText(msg::logon_store::ExpiredOn, CertTimeText(X509_get0_notAfter(cert)));
        default:
            break;
    }
    if ((flags & EXFLAG_XKUSAGE) && (X509_get_extended_key_usage(x) & (XKU_SMIME | XKU_ANYEKU)) == 0) {
        return MessageText(msg::logon_store::NoEmailProtection);
    }
    // The key signs files and opens the session keys wrapped for it. S/MIME also takes
    // nonRepudiation as leave to sign.
    if (flags & EXFLAG_KUSAGE) {
        const uint32_t usage = X509_get_key_usage(x);
        if ((usage & (KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION)) == 0 || (usage & KU_KEY_ENCIPHERMENT) == 0)
            return MessageText(msg::logon_store::KeyUsageTooNarrow);
    }
    return {};
}

}  // namespace logon
