#pragma once
// scrypt (RFC 7914): the memory-hard derivation behind every password verifier and every
// private key at rest. PBKDF2-HMAC-SHA256 comes from OpenSSL; the mixing in between, where all
// the time goes, is ours: Salsa20/8 in SSE2 registers on x86-64 (every such processor has
// them), portable code elsewhere. The output is the same bytes OpenSSL's EVP_PBE_scrypt gives
// for the same input, and the same parameters are refused.

#include <cstddef>
#include <cstdint>

namespace logon {

// The most memory one derivation may take, counted as OpenSSL counts it (128 * r * (N + 2)
// for the table and the mixing buffers, plus 128 * r * p for the lanes): its default of
// 32 MiB, so that parameters read from a file cannot make us allocate more than it would.
inline constexpr uint64_t kScryptMaxMemory = uint64_t{32} << 20;

// Whether N (a power of two, at least 2), r and p are parameters a derivation accepts:
// r * p below 2^30, N below 2^(16 r), and the memory within kScryptMaxMemory.
bool ScryptCostAllowed(uint64_t n, uint32_t r, uint32_t p);

// kPortable keeps to the portable mixing even where SSE2 is there (tests compare the two).
enum class ScryptCore { kFastest, kPortable };

// Derives outLength bytes (1 to 2^31 - 1) from the password (length bytes, zero bytes
// included) and salt. False, with out untouched, when the parameters are not allowed or
// memory cannot be had. Every intermediate buffer is wiped before it is freed.
bool ScryptDerive(const char* password, size_t length, const unsigned char* salt, size_t saltLength, uint64_t n,
                  uint32_t r, uint32_t p, unsigned char* out, size_t outLength, ScryptCore core = ScryptCore::kFastest);

}  // namespace logon
