#pragma once
// The cipher self-tests the shell and `varnex selftest` run.

extern "C" {
// Every software cipher (45, 62, 46) round-trips a fixed block `rounds` times through the cipher
// frame. 1 passed (also for rounds <= 0), 0 failed.
int TestSymmtryEncrypt(int rounds);
// The user's RSA key pair round-trips 30 bytes `rounds` times. 0 passed, 1 keys not available,
// 2 failed.
int TestRSAEncrypt(const char* user, const char* password, int rounds);
// Both of the above (the RSA test only when bRSA is non-zero): 0 passed, 1 keys not available,
// 2 failed.
int TestSysmtryAndRSAEncrypt(const char* user, const char* password, int rounds, int bRSA);
}
