// The process's secrets kept out of core dumps and swap: what ProtectProcessSecrets sets up,
// seen from inside a child process (the test process itself stays as it is); and the one reader
// of typed secrets, which a Ctrl-C always ends.

#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "KillPoints.h"
#include "platform/Secret.h"
#include "platform/SecretInput.h"
#include "platform/SecureMemory.h"
#include "platform/SignalCleanup.h"

TEST(SecureMemory, ProtectedProcessIsNotDumpableAndKeepsSecretsInTheSecureHeap) {
    pid_t child = StartChild([] {
        const SecureMemoryState& state = ProtectProcessSecrets();
        rlimit core{};
        ::getrlimit(RLIMIT_CORE, &core);
        SecretText password("a password");
        SecretBytes big(64 * 1024);
        int failed = 0;
        failed |= ::prctl(PR_GET_DUMPABLE) != 0 ? 1 : 0;
        failed |= core.rlim_cur != 0 || core.rlim_max != 0 ? 2 : 0;
        failed |= state.arenaBytes == 0 || CRYPTO_secure_malloc_initialized() != 1 ? 4 : 0;
        failed |= CRYPTO_secure_allocated(password.data()) != 1 ? 8 : 0;
        failed |= CRYPTO_secure_allocated(big.data()) != 0 ? 16 : 0;  // too big: the ordinary heap
        failed |= &ProtectProcessSecrets() != &state ? 32 : 0;        // once per process
        return failed;
    });
    int status = WaitChild(child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks (bits): 1 dumpable, 2 core size, 4 no secure heap, "
                                         "8 password not in it, 16 big block in it, 32 set up twice";
}

// The arena fits the memory-lock limit; below the smallest size it is made unlocked.
TEST(SecureMemory, ArenaSizeFollowsTheMemoryLockLimit) {
    for (auto [limit, bytes] : {std::pair<unsigned long long, size_t>{0, 16 * 1024},
                                {64 * 1024, 64 * 1024},
                                {100 * 1024, 64 * 1024},
                                {8ull << 20, kSecureHeapBytes}}) {
        EXPECT_EQ(SecureArenaBytesFor(limit), bytes) << limit;
    }
}

// A Ctrl-C that comes after the prompt shows but before its read begins ends the entry at once
// (it used to be missed, and the prompt waited for a key that never came).
TEST(SecretInput, CtrlCJustBeforeTheReadEndsTheEntry) {
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    pid_t child = StartChild([&] {
        InterruptibleWait wait;
        ::raise(SIGINT);
        SecretText line;
        return !ReadSecretLine(input[0], line) && InterruptSeen() ? 0 : 1;
    });
    int status = WaitChild(child, std::chrono::seconds(20));
    ::close(input[0]);
    ::close(input[1]);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
