#pragma once
// Owners of the OpenSSL handles that cross subsystems (keys and certificates handed out by the
// logon library, taken by the engine and the shell): each frees its handle when it goes.

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
