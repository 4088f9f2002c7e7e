#pragma once
// What a user's certificate is: the X.509 v3 extensions the store puts into the certificates
// and requests it makes, so that other people's mail and certificate tools take them for
// e-mail protection, and what a certificate made elsewhere (issued by a CA, brought in a
// PKCS#12 file) must be to serve as a user's certificate. OpenSSL 3; every handle is owned.
//
// Nothing here shows a message or throws: failures are empty results or a reason in words
// fit for "varnex: ...".

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>

namespace logon {

// Adds to cert the extensions of a user's certificate: basicConstraints CA:FALSE and
// keyUsage digitalSignature + keyEncipherment (both critical), extendedKeyUsage
// emailProtection, subjectAltName with the e-mail address (when not empty) and the subject
// key identifier. The certificate's public key must be set first.
bool AddUserCertExtensions(X509* cert, const std::string& email);

// A PKCS#10 request, PEM, signed with key (SHA-256), for the subject of current (the user's
// certificate as it stands) and asking for the extensions above. Empty on failure.
std::string MakeCertRequestPem(EVP_PKEY* key, const X509* current);

// Why cert cannot serve as a user's certificate now, or empty: a CA certificate, one not
// valid at this moment, or one that says what it is for and leaves out e-mail protection
// (extended key usage) or signing and key encipherment (key usage).
std::string UserCertProblem(const X509* cert);
// Whether cert is a CA certificate (basicConstraints CA:TRUE).
bool IsCaCert(const X509* cert);

// "YYYY-MM-DD HH:MM UTC"; empty when the time cannot be read.
std::string CertTimeText(const ASN1_TIME* time);
// -1: not yet valid, 0: valid now, 1: expired.
int CertValidityNow(const X509* cert);

// What a person is shown of a certificate before confirming it.
struct CertSummary {
    std::string subject, issuer;  // one line each, control characters escaped
    std::string email;            // CertEmail
    std::string notBefore, notAfter;
    int validity = 0;         // CertValidityNow
    std::string fingerprint;  // SHA-256 of the DER form, "AB:CD:..." as other tools show it
};
CertSummary SummarizeCert(const X509* cert);

}  // namespace logon
