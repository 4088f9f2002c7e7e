#include "platform/SecureMemory.h"

#include <openssl/crypto.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <atomic>
#include <mutex>

namespace {

constexpr size_t kSmallestArena = 16 * 1024;
constexpr size_t kSmallestPiece = 16;
std::atomic<size_t> g_arenaBytes{0};

}  // namespace

size_t SecureArenaBytesFor(unsigned long long limit) {
    size_t bytes = kSecureHeapBytes;
    while (bytes > kSmallestArena && bytes > limit) bytes /= 2;
    return bytes;
}

const SecureMemoryState& ProtectProcessSecrets() {
    static SecureMemoryState state;
    static std::once_flag once;
    std::call_once(once, [] {
        state.dumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0;
        rlimit none{0, 0};
        ::setrlimit(RLIMIT_CORE, &none);

        rlimit lock{};
        unsigned long long limit = ::getrlimit(RLIMIT_MEMLOCK, &lock) == 0 ? lock.rlim_cur : 0;
        if (lock.rlim_cur == RLIM_INFINITY) limit = kSecureHeapBytes;
        size_t bytes = SecureArenaBytesFor(limit);
        // 1: locked and out of dumps; 2: set up, but locking (or leaving out of dumps) was
        // refused; 0: no arena, and secure allocations fall back to the ordinary heap.
        int result = CRYPTO_secure_malloc_init(bytes, kSmallestPiece);
        if (result != 0) state.arenaBytes = bytes;
        g_arenaBytes = state.arenaBytes;
        state.locked = result == 1;
    });
    return state;
}

size_t SecureArenaBytes() { return g_arenaBytes; }
