#pragma once
// Certificates and keys as other tools hand them over: certificate files in PEM (one or many
// certificates, or a PKCS#7 bundle), DER (one certificate or a PKCS#7 bundle), and PKCS#12
// files holding a private key with its certificate. OpenSSL 3; every handle is owned.
//
// The bytes are the caller's (read with a size cap); nothing here shows a message or throws.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/SslHandles.h"

namespace logon {

// Every certificate the bytes hold, in the order they come; empty when they hold none.
std::vector<X509Ptr> ReadCertificates(const std::vector<unsigned char>& bytes);

// Whether cert names itself as its issuer (a self-made certificate, whose own key must verify
// it). Names only: X509_check_issued also asks for leave to sign certificates, which a
// person's self-made certificate does not give.
bool SelfIssued(const X509* cert);

// The issuers of leaf among others, nearest first: each one named as the issuer of the one
// before and whose key verifies its signature. Certificates that link to nothing are left out.
std::vector<X509Ptr> IssuerChain(const X509* leaf, const std::vector<X509Ptr>& others);
// Certificates one after another as DER (how a chain is kept), and back.
std::vector<unsigned char> ChainToDer(const std::vector<X509Ptr>& chain);
std::vector<X509Ptr> ChainFromDer(const std::vector<unsigned char>& der);

// What a PKCS#12 file holds: the private key, the certificate of that key, and any others.
struct Pkcs12Contents {
    PkeyPtr key;
    X509Ptr cert;
    std::vector<X509Ptr> others;
};
enum class Pkcs12Result { kOk, kNotPkcs12, kWrongPassword, kUnreadable, kNoKey };
Pkcs12Result ReadPkcs12(const std::vector<unsigned char>& bytes, std::string_view password, Pkcs12Contents& out);

}  // namespace logon
