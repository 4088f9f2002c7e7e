#pragma once
// The mail package (".qlt"): files packed for mail, encrypted for recipients, signed by the
// sender, or both. Integers are little-endian. "Sealed" fields are enciphered on their own by
// the field cipher (length-preserving); every CRC is the engine's CRC-16 over the bytes as
// stored, written plain. In file order:
//
//   header (44)        "QL" | "30" | type | flag | cipher | digest | digest again | 1 |
//                      recipients | files | user data   (bytes 0..39 sealed as ONE block)
//                      | CRC over the 40 stored bytes | 0 (2)
//   signer block       kind 1 (1) | L (4) | name (L)                   each sealed | CRC
//     (when signed)
//   recipient records  kind 1 (1) | L (4) | name (L) | W (4) | IV length (4) | wrapped (W)
//     (type 1 and encrypted; one per recipient)                       each sealed | CRC
//   file index         file entry per file:
//                        flag 1 | data offset | N | name (N) | stored length |
//                        modified (14) | created (14) | size | attributes (1) | data CRC (2)
//                                                                     each sealed | CRC
//                      end entry: flag 4 | signature block offset     each sealed | CRC
//   stored data        each file's bytes in entry order, contiguous (cipher output when
//                      encrypted, one cipher stream per file with the same key and IV)
//   signature block    0 (4) | S (4) | signature (S) | CRC             never sealed
//     (when signed)
//
// The writers below produce exactly this layout and refuse what the readers refuse; the readers
// check every length against its Max before reading into it, check every CRC before using what
// it covers, and show the package's own message for each refusal. A reader that returns false
// has shown one message.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/PackageRecords.h"

class CKorvane;
class CFile;

constexpr char kMailMagic[] = "QL";
constexpr char kMailVersion[] = "30";

constexpr int32_t kMailTypePublicKey = 1;  // nMailType: session key wrapped per recipient
constexpr int32_t kMailFlagEncrypt = 1;    // nMailFlag bits
constexpr int32_t kMailFlagSign = 2;
constexpr uint8_t kMailBlockKind = 1;  // signer block and recipient records
constexpr int32_t kMailEntryFile = 1;  // index entry flags, tested as bits: file, then end
constexpr int32_t kMailEntryEnd = 4;

// Caps of the lengths a package carries (inclusive). Readers refuse anything longer before
// reading it; writers never produce it.
constexpr size_t kMailRecipientNameMax = 159;
constexpr size_t kMailSignerNameMax = 1603;
constexpr size_t kMailWrappedKeyMax = 1000;
constexpr size_t kMailFileNameMax = 259;
constexpr size_t kMailSignatureMax = 10240;
constexpr size_t kMailKeyRoom = 1000;  // Key and IV of the argument blocks

struct MailHeader {
    char magic[2];
    char version[2];
    int32_t mailType;
    int32_t mailFlag;
    int32_t cipherId;
    int32_t digestId;
    int32_t digestId2;       // the copy readers check
    int32_t one;             // always 1
    int32_t recipientCount;  // list entries when type 1, else 0
    int32_t fileCount;
    int32_t userData;
    uint16_t crc;
    uint16_t zero;
};
constexpr size_t kMailHeaderSize = 44;
constexpr size_t kMailHeaderSealed = 40;
static_assert(sizeof(MailHeader) == kMailHeaderSize);
static_assert(offsetof(MailHeader, mailType) == 4);
static_assert(offsetof(MailHeader, cipherId) == 12);
static_assert(offsetof(MailHeader, digestId2) == 20);
static_assert(offsetof(MailHeader, one) == 24);
static_assert(offsetof(MailHeader, recipientCount) == 28);
static_assert(offsetof(MailHeader, fileCount) == 32);
static_assert(offsetof(MailHeader, userData) == 36);
static_assert(offsetof(MailHeader, crc) == kMailHeaderSealed);

// Sizes of the index entries besides the name, and of the smallest whole entry: a header
// that claims more files than the package could hold entries for is damaged.
constexpr size_t kMailFileEntryFixed = 4 + 4 + 4 + 4 + kTimeTextSize + kTimeTextSize + 4 + 1 + 2 + 2;
constexpr size_t kMailEndEntrySize = 10;
static_assert(kMailFileEntryFixed == 53);

struct MailRecipient {
    std::string name;  // the installed certificate's name
    int32_t ivLength = 0;
    std::vector<unsigned char> wrapped;  // session key then IV, public-key encrypted
};

struct MailFileEntry {
    int32_t dataOffset = 0;
    std::string name;  // a file name only: no separator, not "." or ".."
    int32_t storedLength = 0;
    char modified[kTimeTextSize + 1] = {};
    char created[kTimeTextSize + 1] = {};
    int32_t size = 0;
    uint8_t attributes = 0;
    uint16_t dataCrc = 0;
};

// One entry of the file index as the reader meets it.
struct MailIndexEntry {
    int32_t flag = 0;
    MailFileEntry file;           // when flag has the file bit
    int32_t signatureOffset = 0;  // when it is the end entry
};

// True when the header's counts are ones a package of packageLength bytes can hold: every file
// needs an entry of at least 54 bytes behind the header. The one check of a count read from a
// package, made before anything is sized from it (a reader's rows, its index).
bool MailCountsFit(const MailHeader& header, uint64_t packageLength);

// True when a stored name is one file name that stays in the folder it is joined to.
bool IsMailFileName(const std::string& name);

// ---- Writers (checked I/O; false after the engine has shown its message)
bool WriteMailHeader(CKorvane& engine, CFile* file, const MailHeader& plain);
bool WriteSignerBlock(CKorvane& engine, CFile* file, const std::string& signer);
bool WriteRecipientRecord(CKorvane& engine, CFile* file, const MailRecipient& recipient);
// The plain placeholder of a file entry (53 + N bytes) and of the end entry (10 bytes),
// rewritten in their final form once the data behind them is known.
bool WritePlainFileEntry(CKorvane& engine, CFile* file, const std::string& name);
bool WritePlainEndEntry(CKorvane& engine, CFile* file);
bool WriteFileEntry(CKorvane& engine, CFile* file, const MailFileEntry& entry);
bool WriteEndEntry(CKorvane& engine, CFile* file, int32_t signatureOffset);
bool WriteSignatureBlock(CKorvane& engine, CFile* file, const unsigned char* signature, size_t length);

// ---- Readers, at the file's current position
// The 44 stored bytes, CRC-checked and deciphered; nothing else of the header is judged here.
// Decode shows nothing (but a field-cipher failure); *crcMatches tells a damaged header apart.
bool DecodeMailHeader(CKorvane& engine, const unsigned char* stored, MailHeader& out, bool* crcMatches);
bool ReadMailHeader(CKorvane& engine, CFile* file, MailHeader& out);
bool ReadSignerBlock(CKorvane& engine, CFile* file, std::string& signer);
bool ReadRecipientRecord(CKorvane& engine, CFile* file, MailRecipient& out);
// A file entry (CRC-checked, its name judged by IsMailFileName) or the end entry.
bool ReadIndexEntry(CKorvane& engine, CFile* file, MailIndexEntry& out);
bool ReadSignatureBlock(CKorvane& engine, CFile* file, std::vector<unsigned char>& signature, uint32_t* zeroField);
