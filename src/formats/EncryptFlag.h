#pragma once
// The 300-byte head at offset 0 of every secured file. Laid out exactly as stored (integers
// little-endian, as on every platform we build for), so one 300-byte read or write moves it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "formats/Messages.h"

class RecordIo;
class CFile;

enum FileKind : uint8_t {
    kKindPassword = 1,   // password package
    kKindEnvelope = 2,   // envelope package
    kKindSignUser = 4,   // signature file signed for a user
    kKindShared = 8,     // shared envelope package
    kKindSignMail = 16,  // signature file signed for mail
};

constexpr size_t kHeadSize = 300;
constexpr size_t kBaseFolderSize = 260;

struct EncryptFlag {
    char magic[2];    // "KF"
    char version[2];  // two digits, major then minor: "30"
    uint8_t kind;     // FileKind
    uint8_t pad1[3];  // not enciphered, not covered by the CRC
    int32_t cipherId;
    int32_t digestId;
    int32_t digestId2;  // written equal to digestId
    int32_t one;        // 1 in packages, 0 in signature files
    int32_t count;      // owned by the envelope writers
    char baseFolder[kBaseFolderSize];
    int32_t itemCount;   // file records in the package
    int32_t listLength;  // package length minus the head when encryption starts
    uint16_t headCrc;    // CRC over the eleven enciphered fields
    uint8_t pad2[2];     // not enciphered, not covered by the CRC
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

// The eleven protected fields in protection order. Each is enciphered on its own, in place, and
// the head CRC runs over their stored bytes in this order; padding and the CRC stay plain.
struct HeadField {
    size_t offset;
    size_t size;
};
inline constexpr std::array<HeadField, 11> kProtectedHeadFields = {{
    {offsetof(EncryptFlag, magic), 2},
    {offsetof(EncryptFlag, version), 2},
    {offsetof(EncryptFlag, kind), 1},
    {offsetof(EncryptFlag, cipherId), 4},
    {offsetof(EncryptFlag, digestId), 4},
    {offsetof(EncryptFlag, digestId2), 4},
    {offsetof(EncryptFlag, one), 4},
    {offsetof(EncryptFlag, count), 4},
    {offsetof(EncryptFlag, baseFolder), kBaseFolderSize},
    {offsetof(EncryptFlag, itemCount), 4},
    {offsetof(EncryptFlag, listLength), 4},
}};
constexpr size_t ProtectedHeadBytes() {
    size_t n = 0;
    for (const HeadField& f : kProtectedHeadFields) n += f.size;
    return n;
}
static_assert(ProtectedHeadBytes() == 293);

// Sealing: every protected field enciphered in place, then the head CRC over their stored
// bytes. False when the field cipher fails (shown); the head is then unusable.
bool SealHead(RecordIo& io, EncryptFlag& head);
// Checks the head CRC over the stored fields, then deciphers them in place. On a mismatch shows
// crcMessage (when not null) and answers false with nothing deciphered.
bool UnsealHead(RecordIo& io, EncryptFlag& head, const char* crcMessage);
// Seals a copy of the plain head and writes its 300 bytes at offset 0 (checked).
bool WriteHead(RecordIo& io, CFile* file, const EncryptFlag& plainHead);
// Reads exactly 300 bytes at offset 0 (checked) and unseals them into head, which is left as
// it was on any failure.
bool ReadHead(RecordIo& io, CFile* file, EncryptFlag& head, const char* crcMessage);

// Packages of version "10" use the old key check and file records without a creation time.
inline bool IsVersion10(const EncryptFlag& head) { return std::memcmp(head.version, "10", 2) == 0; }

// What one reader accepts of a deciphered head and the messages it shows for each refusal.
// Every reader checks through CKorvane::CheckEncryptedFileHead with its own rules, so the order
// of the checks and the version arithmetic live in one place. A null message refuses silently.
struct HeadRules {
    uint8_t kinds;                 // accepted kinds, OR-ed FileKind values; 0 accepts any kind
    bool kindBeforeVersion;        // signature files are told apart by kind before their version
    bool checkCipher;              // the cipher id must be a supported cipher
    bool checkDigestAndOne;        // envelopes: digest id 2 must be supported and "one" must be 1
    bool checkDigestOnly;          // signatures: digest id 2 must be supported (cipher id is 0)
    const MessageDef* notSecured;  // magic is not "KF"
    const MessageDef* tooNew;      // takes one %4.2f: the file's version
    const MessageDef* wrongKind;
    const MessageDef* badAlgorithm;  // an unsupported cipher or digest, or "one" not 1
};

inline constexpr HeadRules kPasswordHeadRules{
    kKindPassword,
    false,
    true,
    false,
    false,
    &msg::formats::NotSecured,
    &msg::formats::TooNewToDecrypt,
    &msg::formats::NotPasswordPackage,
    &msg::formats::UnsupportedCipher,
};
inline constexpr HeadRules kEnvelopeHeadRules{
    kKindEnvelope | kKindShared,
    false,
    true,
    true,
    false,
    &msg::formats::NotSecured,
    &msg::formats::TooNewToDecrypt,
    &msg::formats::NotEnvelopePackage,
    &msg::formats::UnsupportedCipher,
};
inline constexpr HeadRules kSignatureHeadRules{
    kKindSignUser | kKindSignMail,
    true,
    false,
    false,
    true,
    &msg::formats::NotSignatureFile,
    &msg::formats::TooNewToVerify,
    &msg::formats::NotSignature,
    &msg::formats::UnsupportedSignatureDigest,
};
// Security information: any kind, magic and version only, nothing shown.
inline constexpr HeadRules kAnyHeadRules{0, false, false, false, false, nullptr, nullptr, nullptr, nullptr};
