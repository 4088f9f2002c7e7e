#pragma once
// Keeping this process's secrets out of core dumps, swap and the reach of other processes of
// the same user.
//
// ProtectProcessSecrets makes the process not dumpable (no core file; /proc/PID/mem, environ
// and ptrace refused to the same user; reset for programs it runs) and sets its core size to
// 0, then sets up OpenSSL's secure heap: an arena locked in memory (never swapped) and left
// out of core dumps, where OpenSSL keeps the numbers of private keys and where the secret
// buffers of Secret.h live. The arena is as large as RLIMIT_MEMLOCK lets it be locked, up to
// kSecureHeapBytes; when locking is refused the arena still serves, unlocked but left out of
// dumps. It does not protect against root, nor against a debugger attached before it runs.
//
// Call it once, first thing in main, before any secret is read (the arena must exist before
// anything is allocated from it); later calls do nothing.

#include <cstddef>

inline constexpr size_t kSecureHeapBytes = 256 * 1024;

struct SecureMemoryState {
    bool dumpable = true;   // the process can still be dumped (prctl refused)
    size_t arenaBytes = 0;  // 0: no secure heap (OpenSSL refused it)
    bool locked = false;    // the arena is locked in memory
};

const SecureMemoryState& ProtectProcessSecrets();
// The size of the arena ProtectProcessSecrets set up; 0 before, or without one.
size_t SecureArenaBytes();

// The arena size for a memory-lock limit of `limit` bytes: the largest power of two within
// it, between 16 KiB and kSecureHeapBytes (below 16 KiB: 16 KiB, which will not be locked).
size_t SecureArenaBytesFor(unsigned long long limit);
