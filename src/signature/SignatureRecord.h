#pragma once
// The signature record of a signature file (".idi"): behind the 300-byte head (kind 4 or 16,
// cipher 0, the digest in both digest fields), from offset 300 to the end of the file.
//
//   #   size  field
//   1   4     L1, length of the signed file's path as it was given to the signing call
//   2   L1    that path, no NUL
//   3   14    the file's modification time when signed (14-digit local time)
//   4   4     the file's size
//   5   1     the file's attribute byte
//   6   14    signing time (14-digit local time)
//   7   4     L2, signature length
//   8   L2    the signature over the file's whole content
//   9   4     L3, length of the signer's user ID
//   10  L3    the user ID
//   11  4     L4, length of the certificate name
//   12  L4    the certificate name (the text field of the signer's key record)
//   13  4     L5, length of the signer name
//   14  L5    the signer name
//   15  2     record CRC over the stored bytes of fields 1 to 14, plain
// Every field but the CRC is sealed on its own with the field cipher; integers little-endian.
//
// File_SignInfo is the record in memory; its rooms are the limits of the format. A reader
// refuses a stored length beyond its room before reading anything into it, and treats such a
// record as damaged, as it treats a CRC mismatch or a record cut short.

#include <cstddef>
#include <cstdint>

#include "formats/Messages.h"

class CKorvane;
class CFile;

constexpr size_t kSignPathRoom = 260;  // path, NUL-terminated when read back
constexpr size_t kSignTimeLength = 14;
constexpr size_t kSignRecordSignatureRoom = 10240;  // raw bytes, no terminator
constexpr size_t kSignUserIdRoom = 132;
constexpr size_t kSignCertNameRoom = 60;
constexpr size_t kSignSignerNameRoom = 200;

struct File_SignInfo {
    int32_t fileNameLength;
    char fileName[kSignPathRoom];
    char modifyTime[16];
    uint32_t fileSize;
    uint8_t attributes;
    char signTime[15];
    int32_t signatureLength;
    unsigned char signature[kSignRecordSignatureRoom];
    int32_t userIdLength;
    char userId[kSignUserIdRoom];
    int32_t certNameLength;
    char certName[kSignCertNameRoom];
    int32_t signerNameLength;
    char signerName[kSignSignerNameRoom];
    uint16_t crc;
};

// The longest record a file can hold: every length at its room (texts one short of it).
constexpr size_t kSignRecordMaxSize = 4 + (kSignPathRoom - 1) + kSignTimeLength + 4 + 1 + kSignTimeLength + 4 +
                                      kSignRecordSignatureRoom + 4 + (kSignUserIdRoom - 1) + 4 +
                                      (kSignCertNameRoom - 1) + 4 + (kSignSignerNameRoom - 1) + 2;

// The message a damaged signature record is shown with, by every reader.
inline constexpr const char* kSignRecordDamaged = msg::formats::SignatureHeadCrc.text;

// Writes fields 1 to 15 at the file's position. Every length must fit its room (the writer
// refuses what the reader would refuse). 0 when a write or the field cipher failed (shown) or
// a length does not fit (not shown: the logon library never hands out longer texts).
int WriteSignatureRecord(CKorvane& engine, CFile* file, const File_SignInfo& record);

// Reads the record from the file's position to the end of the file into *record, texts
// NUL-terminated at their stored lengths, the signature raw. A record with a length beyond
// its room, cut short, or with a CRC that does not match shows kSignRecordDamaged; a read or
// decipher failure shows its own message. 1 when the record is intact; *record is then filled.
int ReadSignatureRecord(CKorvane& engine, CFile* file, File_SignInfo* record);
