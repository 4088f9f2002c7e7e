#pragma once
// The 300-byte head at offset 0 of every secured file. Laid out exactly as stored (integers
// little-endian, as on every platform we build for), so one 300-byte read or write moves it.

#include <cstddef>
#include <cstdint>

enum FileKind : uint8_t {
    kKindPassword = 1,      // password package
    kKindEnvelope = 2,      // envelope package
    kKindSignUser = 4,      // signature file signed for a user
    kKindShared = 8,        // shared envelope package
    kKindSignMail = 16,     // signature file signed for mail
};

constexpr size_t kHeadSize = 300;
constexpr size_t kBaseFolderSize = 260;

struct EncryptFlag {
    char magic[2];        // "KF"
    char version[2];      // two digits, major then minor: "30"
    uint8_t kind;         // FileKind
    uint8_t pad1[3];      // not enciphered, not covered by the CRC
    int32_t cipherId;
    int32_t digestId;
    int32_t digestId2;    // written equal to digestId
    int32_t one;          // 1 in packages, 0 in signature files
    int32_t count;        // owned by the envelope writers
    char baseFolder[kBaseFolderSize];
    int32_t itemCount;    // file records in the package
    int32_t listLength;   // package length minus the head when encryption starts
    uint16_t headCrc;     // CRC over the eleven enciphered fields
    uint8_t pad2[2];      // not enciphered, not covered by the CRC
};

static_assert(sizeof(EncryptFlag) == kHeadSize);
static_assert(offsetof(EncryptFlag, magic) == 0);
static_assert(offsetof(EncryptFlag, version) == 2);
static_assert(offsetof(EncryptFlag, kind) == 4);
static_assert(offsetof(EncryptFlag, pad1) == 5);
static_assert(offsetof(EncryptFlag, cipherId) == 8);
static_assert(offsetof(EncryptFlag, digestId) == 12);
static_assert(offsetof(EncryptFlag, digestId2) == 16);
static_assert(offsetof(EncryptFlag, one) == 20);
static_assert(offsetof(EncryptFlag, count) == 24);
static_assert(offsetof(EncryptFlag, baseFolder) == 28);
static_assert(offsetof(EncryptFlag, itemCount) == 288);
static_assert(offsetof(EncryptFlag, listLength) == 292);
static_assert(offsetof(EncryptFlag, headCrc) == 296);
static_assert(offsetof(EncryptFlag, pad2) == 298);
