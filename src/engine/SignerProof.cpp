#include "engine/SignerProof.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <vector>

#include "logon/ILogon.h"
#include "logon/LogonKeys.h"
#include "platform/SslHandles.h"

namespace {

std::string Fingerprint(X509* cert) {
    static const char kDigits[] = "0123456789abcdef";
    std::vector<unsigned char> der = logon::CertToDer(cert);
    std::vector<unsigned char> sha = der.empty() ? der : logon::CertFingerprint(der);
    std::string hex;
    for (unsigned char b : sha) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

}  // namespace

std::string SignerProof::KeyText() const { return KeyTextOf(subject, email); }

SignerProof CertificateProof(X509* cert) {
    SignerProof proof;
    proof.sha256 = cert ? Fingerprint(cert) : std::string();
    if (proof.sha256.empty()) return {};
    proof.basis = SignerProof::Basis::kCertificate;
    proof.subject = logon::CertSubjectName(cert);
    proof.email = logon::CertEmail(cert);
    return proof;
}

bool TextNamesProvenSigner(ILogon& logon, const std::string& text, int kind, const SignerProof& proof) {
    const std::string trimmed = LogonTrim(text);
    if (!proof.Proven() || trimmed.empty()) return false;
    if (LogonEqualNoCase(trimmed, proof.KeyText())) return true;
    EVP_PKEY* rawKey = nullptr;
    X509* rawCert = nullptr;
    const int found = logon.GetSignerCert(trimmed, kind, &rawKey, &rawCert);
    PkeyPtr key(rawKey);
    X509Ptr cert(rawCert);
    return found != 0 && cert && Fingerprint(cert.get()) == proof.sha256;
}
