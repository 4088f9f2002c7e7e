#pragma once
// Key work shared by the logon library's implementations: RSA key pairs, self-signed
// certificates, session-key wrapping, key-device style signatures, password-protected
// private keys and password verifiers. OpenSSL 3 EVP only; every handle is owned.
//
// Nothing here shows a message or throws: failures are empty handles, false, or a
// negative length.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SslHandles.h"

namespace logon {

using ::PkeyPtr;
using ::X509Ptr;

inline constexpr int kRsaBits = 2048;
inline constexpr uint32_t kPasswordIterations = 200000;

// ---- Keys and certificates
PkeyPtr GenerateRsaKey(int bits = kRsaBits);
// A self-signed certificate for key: subject CN = name and, when not empty,
// emailAddress = email; valid for ten years from now; signed with SHA-256; the extensions
// of a user's certificate (CertProfile.h).
X509Ptr MakeSelfSignedCert(EVP_PKEY* key, const std::string& name, const std::string& email, long serial = 1);
std::string CertSubjectName(const X509* cert);  // the CN, empty when absent
// The subject's e-mail address, else the first one among its alternative names; empty when absent.
std::string CertEmail(const X509* cert);
std::vector<unsigned char> CertToDer(const X509* cert);
X509Ptr CertFromDer(const std::vector<unsigned char>& der);
std::string CertToPem(const X509* cert);
// A certificate file in PEM or DER.
X509Ptr ReadCertificateFile(const std::string& path);
// SHA-256 of the DER form; what a confirmation records.
std::vector<unsigned char> CertFingerprint(const std::vector<unsigned char>& der);
PkeyPtr PublicKeyOf(const X509* cert);

// ---- Session keys: RSA-OAEP (SHA-256). Answer the output length, or -1 when the key
// cannot do it or the output does not fit in room.
int WrapWithPublicKey(EVP_PKEY* key, const unsigned char* in, size_t length, unsigned char* out, size_t room);
int UnwrapWithPrivateKey(EVP_PKEY* key, const unsigned char* in, size_t length, unsigned char* out, size_t room);

// ---- Signatures over a 20-byte SHA-1 digest: RSA PKCS#1 v1.5 with the SHA-1 DigestInfo,
// the form a key device makes.
int SignSha1Digest(EVP_PKEY* key, const unsigned char* digest, size_t digestLength, unsigned char* signature,
                   size_t room);
bool VerifySha1Digest(EVP_PKEY* key, const unsigned char* digest, size_t digestLength, const unsigned char* signature,
                      size_t signatureLength);

// ---- Private keys at rest: PEM PKCS#8, PBES2 with PBKDF2-HMAC-SHA256 and AES-256-CBC under
// the password. iterations as for MakePasswordVerifier (0 = kPasswordIterations). Reading
// takes any count, so keys written with an older, smaller count still open.
std::string ExportPrivateKeyPem(EVP_PKEY* key, const char* password, size_t length, uint32_t iterations = 0);
PkeyPtr ImportPrivateKeyPem(const std::string& pem, const char* password, size_t length);

// ---- Password verifier: PBKDF2-HMAC-SHA256 over a random 16-byte salt.
struct PasswordVerifier {
    uint32_t iterations = 0;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};
// iterations may be lowered (tests); 0 means kPasswordIterations.
PasswordVerifier MakePasswordVerifier(const char* password, size_t length, uint32_t iterations = 0);
// Constant-time comparison of the derived hash.
bool CheckPasswordVerifier(const PasswordVerifier& verifier, const char* password, size_t length);
// Text form for storage: "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
std::string EncodeVerifier(const PasswordVerifier& verifier);
bool DecodeVerifier(std::string_view text, PasswordVerifier& out);

}  // namespace logon
