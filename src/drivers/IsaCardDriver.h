#pragma once
// The ISA encryption card's driver module "isacard". Its four operations are exported under
// these names (the module's ordinals 1, 3, 4 and 5):
//
//   IsaCardOpen(key, 8)                        > 0 handle; 0 no card present; < 0 failure
//   IsaCardEncrypt(h, in, n, out, &outLength)  n a multiple of 8; 0 = success
//   IsaCardDecrypt(h, in, n, out, &outLength)  as IsaCardEncrypt
//   IsaCardClose(h)                            0 = success
//
// in and out may be the same buffer. The card processes whole 8-byte blocks only; the
// engine carries a partial block over to the next call and enciphers the last partial block
// with the cipher driver (see the ISA card code of the engine).

extern "C" {
using IsaCardOpenFn = int (*)(const unsigned char* key, int keyLength);
using IsaCardCipherFn = int (*)(int handle, const unsigned char* in, int length, unsigned char* out, int* outLength);
using IsaCardCloseFn = int (*)(int handle);
}

inline constexpr const char* kIsaCardModule = "isacard";
inline constexpr const char* kIsaCardOpenName = "IsaCardOpen";
inline constexpr const char* kIsaCardEncryptName = "IsaCardEncrypt";
inline constexpr const char* kIsaCardDecryptName = "IsaCardDecrypt";
inline constexpr const char* kIsaCardCloseName = "IsaCardClose";
