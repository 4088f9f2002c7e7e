#pragma once
// The PCI data security card's driver module "trv88": eight C entry points, looked up by name.
// Every entry answers an unsigned 32-bit status, 0 = success. The engine loads the module on
// the first use of the card and keeps it until the engine object is destroyed.
//
//   TRV88Init()                        opens a card session for this process
//   TRV88Final()                       closes it; the status is ignored
//   TRV88EncryptInit(key, iv, &h)      key 16 bytes, iv 8 bytes; h names the operation
//   TRV88EncryptUpdate(buf, &len, h)   transforms len bytes of buf in place; len = bytes produced
//   TRV88EncryptFinal(null, null, h)   ends operation h, of either direction; produces nothing
//   TRV88DecryptInit / TRV88DecryptUpdate   as above, for decryption
//   TRV88DecryptFinal                  must be exported; the engine never calls it
//
// Status codes the engine tells apart; any other is reported with its value.

#include <cstdint>

inline constexpr uint32_t kTrv88DriverMissing = 0x20B10001;  // driver program not installed
inline constexpr uint32_t kTrv88NoCard = 0x20A10002;         // card not found
inline constexpr uint32_t kTrv88Busy = 0x20B10007;           // 10 operations already running

extern "C" {
using Trv88InitFn = uint32_t (*)();
using Trv88FinalFn = uint32_t (*)();
using Trv88OpInitFn = uint32_t (*)(unsigned char* key, unsigned char* iv, int* handle);
using Trv88OpUpdateFn = uint32_t (*)(unsigned char* buffer, int* length, int handle);
using Trv88OpFinalFn = uint32_t (*)(unsigned char* buffer, int* length, int handle);
}

inline constexpr const char* kTrv88Module = "trv88";
// In the order the engine looks them up; all eight must exist.
inline constexpr const char* kTrv88EntryNames[8] = {
    "TRV88Init",         "TRV88Final",       "TRV88EncryptInit",   "TRV88EncryptUpdate",
    "TRV88EncryptFinal", "TRV88DecryptInit", "TRV88DecryptUpdate", "TRV88DecryptFinal",
};
