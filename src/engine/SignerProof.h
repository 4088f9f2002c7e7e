#pragma once
// What the last signature check proved about who signed. A signature checked with a public key
// proves the holder of that key's certificate; a bare digest (the SHA-1 of the content, which
// anyone can compute) proves only that the content is what the digest was made over. Texts a
// file stores about its signer (a user ID, a signer name, a sender) prove nothing by themselves:
// they are trusted only when they name the certificate that checked the signature.

#include <openssl/types.h>

#include <string>

class ILogon;

struct SignerProof {
    enum class Basis {
        kNone,         // nothing was checked, or the check failed
        kCertificate,  // the signature was checked with this certificate's public key
        kBareDigest,   // the content matched a bare digest: intact, sender not proven
    };
    Basis basis = Basis::kNone;
    // The certificate that checked the signature (kCertificate only): its name (CN), its e-mail
    // address (may be empty) and the SHA-256 of its DER form in lower-case hex, the fingerprint
    // the store lists and confirms.
    std::string subject;
    std::string email;
    std::string sha256;

    bool Proven() const { return basis == Basis::kCertificate; }
    // "subject<email>", the form signer names take.
    std::string KeyText() const;
};

// The proof a certificate gives; basis kNone when it cannot be read.
SignerProof CertificateProof(X509* cert);

// Whether a text a file stores about its signer names the certificate that proved the
// signature: the logon library resolves it (with the file's kind) to that very certificate, or
// it is the certificate's own key text. An empty text names nobody.
bool TextNamesProvenSigner(ILogon& logon, const std::string& text, int kind, const SignerProof& proof);
