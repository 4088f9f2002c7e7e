#pragma once
// scrypt (RFC 7914): the memory-hard derivation behind every password verifier and every
// private key at rest. PBKDF2-HMAC-SHA256 comes from OpenSSL; the mixing in between, where all
// the time goes, is ours: up to six lanes side by side in AVX2 or AVX-512 registers where the
// processor has them, portable code elsewhere. The output is the same bytes OpenSSL's
// EVP_PBE_scrypt gives for the same input, and the same parameters are refused.
//
// Lanes mixed side by side take a table each, so a derivation may hold up to 84 MiB (five
// lanes at logon::kKeyCost take 80 MiB) where OpenSSL holds one table, whether on one thread
// or two; the tables are wiped and unmapped before it returns.

#include <cstddef>
#include <cstdint>

namespace logon {

// The most memory one derivation may take, counted as OpenSSL counts it (128 * r * (N + 2)
// for the table and the mixing buffers, plus 128 * r * p for the lanes): its default of
// 32 MiB, so that parameters read from a file are refused exactly where OpenSSL refuses them
// (the tables of lanes mixed side by side are bounded apart from this, as above).
inline constexpr uint64_t kScryptMaxMemory = uint64_t{32} << 20;

// Whether N (a power of two, at least 2), r and p are parameters a derivation accepts:
// r * p below 2^30, N below 2^(16 r), and the memory within kScryptMaxMemory.
bool ScryptCostAllowed(uint64_t n, uint32_t r, uint32_t p);

// Which mixing code runs: the fastest the processor has; AVX2 even where AVX-512 is there;
// the portable code. Each falls back to the next where the processor lacks it; all give the
// same bytes (tests compare them).
enum class ScryptCore { kFastest, kAvx2, kPortable };

// Whether the later half of the lanes is mixed on a second thread when a second core is free
// (the same bytes either way).
enum class ScryptThreads { kTwoWhereFree, kOne };

// Derives outLength bytes (1 to 2^31 - 1) from the password (length bytes, zero bytes
// included) and salt. False when the parameters are not allowed (nothing is allocated then) or
// memory cannot be had. Every intermediate buffer is wiped before it is freed.
bool ScryptDerive(const char* password, size_t length, const unsigned char* salt, size_t saltLength, uint64_t n,
                  uint32_t r, uint32_t p, unsigned char* out, size_t outLength, ScryptCore core = ScryptCore::kFastest,
                  ScryptThreads threads = ScryptThreads::kTwoWhereFree);

}  // namespace logon
