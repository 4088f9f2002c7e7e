#pragma once
// The cipher driver behind the field cipher, the name cipher and the ISA card's tail: AES-128
// in CFB-128 mode with a zero IV. It is length-preserving for any length from 1 byte up and
// every session starts from the same state, so enciphering a field depends only on key and
// content. Sessions are handles; update may be called more than once per session.

#include <cstdint>

// Ordinal 1 / 5: open a session with a 16-byte key. 0 = success, handle set.
int Mqk21EncryptInit(int algorithm, int mode, const unsigned char* key, int keyLength, intptr_t* handle);
int Mqk21DecryptInit(int algorithm, int mode, const unsigned char* key, int keyLength, intptr_t* handle);
// Ordinal 3 / 7: `inLength` bytes in, the same number out. 0 = success.
int Mqk21EncryptUpdate(intptr_t handle, const unsigned char* in, int inLength, unsigned char* out, int* outLength);
int Mqk21DecryptUpdate(intptr_t handle, const unsigned char* in, int inLength, unsigned char* out, int* outLength);
// Ordinal 4 / 8: close the session.
int Mqk21EncryptFinal(intptr_t handle);
int Mqk21DecryptFinal(intptr_t handle);
