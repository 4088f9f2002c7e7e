#include "platform/Secret.h"

#include "platform/SecureMemory.h"

namespace {

constexpr size_t kLargestSecureBlock = 4096;

}  // namespace

void* AllocateSecret(size_t bytes) {
    if (bytes == 0) bytes = 1;
    void* p = nullptr;
    const size_t arena = SecureArenaBytes();
    if (bytes <= kLargestSecureBlock && arena > 0 && CRYPTO_secure_used() + bytes <= arena / 2)
        p = OPENSSL_secure_malloc(bytes);
    if (p == nullptr) p = OPENSSL_malloc(bytes);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

// Wipes and frees a block from either heap: OpenSSL tells its own arena's blocks apart.
void FreeSecret(void* p, size_t bytes) {
    if (p != nullptr) OPENSSL_secure_clear_free(p, bytes == 0 ? 1 : bytes);
}
