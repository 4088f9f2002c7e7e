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
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logon/Scrypt.h"
#include "platform/SslHandles.h"

namespace logon {

using ::PkeyPtr;
using ::X509Ptr;

inline constexpr int kRsaBits = 2048;

// The cost of turning a password into a key: scrypt's N (a power of two), r and p. Every
// private key at rest and every password verifier is made with it, over a random 16-byte salt.
// N = 2^14, r = 8 takes 16 MiB per guess (OpenSSL's PKCS#8 reader refuses more than 32 MiB),
// and p = 5 makes one derivation cost more time than PBKDF2-HMAC-SHA256 at 600,000 iterations.
struct KeyCost {
    uint64_t n = 0;  // 0: kKeyCost
    uint32_t r = 8;
    uint32_t p = 1;
};
inline constexpr KeyCost kKeyCost{uint64_t{1} << 14, 8, 5};
inline constexpr size_t kKeySaltLength = 16;

// ---- Keys and certificates
PkeyPtr GenerateRsaKey(int bits = kRsaBits);
// A self-signed certificate for key: subject CN = name and, when not empty,
// emailAddress = email; valid for ten years from now; signed with SHA-256; the extensions
// of a user's certificate (CertProfile.h).
X509Ptr MakeSelfSignedCert(EVP_PKEY* key, const std::string& name, const std::string& email, long serial = 1);
// The same for a key whose private half stays elsewhere (a token): sign answers the RSA
// PKCS#1 v1.5 signature over the DER DigestInfo it is given (SHA-256 of the to-be-signed part),
// or -1. Null unless the result verifies under publicKey.
using DigestInfoSigner =
    std::function<int(const unsigned char* info, size_t length, unsigned char* signature, size_t room)>;
X509Ptr MakeSelfSignedCert(EVP_PKEY* publicKey, const std::string& name, const std::string& email, long serial,
                           const DigestInfoSigner& sign);
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

// ---- Private keys at rest: PEM PKCS#8, PBES2 with scrypt (RFC 7914) and AES-256-CBC under
// the password. Reading takes any PBES2 form OpenSSL reads, so keys written earlier (PBKDF2)
// still open.
std::string ExportPrivateKeyPem(EVP_PKEY* key, const char* password, size_t length, const KeyCost& cost = {});
// threads: whether its derivation may take a second core (see ScryptDerive).
PkeyPtr ImportPrivateKeyPem(const std::string& pem, const char* password, size_t length,
                            ScryptThreads threads = ScryptThreads::kTwoWhereFree);
// Whether an encrypted key PEM was written at a lower cost than ExportPrivateKeyPem writes now:
// PBKDF2 (the earlier form), or a salt shorter than kKeySaltLength. A key already in scrypt is
// current whatever its N (tests make cheap ones). False for text that is no encrypted key.
bool KeyPemNeedsNewCost(const std::string& pem);

// ---- Password verifier: scrypt over a random 16-byte salt; the earlier PBKDF2-HMAC-SHA256
// verifiers are still checked.
struct PasswordVerifier {
    bool scrypt = true;
    uint32_t iterations = 0;  // PBKDF2
    KeyCost cost;             // scrypt
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};
PasswordVerifier MakePasswordVerifier(const char* password, size_t length, const KeyCost& cost = {});
// Constant-time comparison of the derived hash.
bool CheckPasswordVerifier(const PasswordVerifier& verifier, const char* password, size_t length);
// Text form for storage: "scrypt$<N>$<r>$<p>$<salt hex>$<hash hex>", or the earlier
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
std::string EncodeVerifier(const PasswordVerifier& verifier);
bool DecodeVerifier(std::string_view text, PasswordVerifier& out);
// As KeyPemNeedsNewCost, for a verifier.
bool VerifierNeedsNewCost(const PasswordVerifier& verifier);

}  // namespace logon
