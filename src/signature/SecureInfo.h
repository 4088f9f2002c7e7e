#pragma once
// What a secured file says of its protection, read by CKorvane::GetFileSecureInfo without
// decrypting anything: its kind, who encrypted it for whom, who signed it and when, and the
// original name of a single encrypted file.
//
// Which outputs each kind fills (the others are left as they were; the name text is always set):
//   1 (password)             kind, recipient count
//   2, 8 (envelope)          kind, recipient count, the sender into Verify_IndexInfo, one
//                            Decrypt_Info per recipient (at most 200), the name text
//   4, 16 (signature)        kind, recipient count, the signature record into File_SignInfo
// The name text is empty, "混合文件" when the file holds more than one item, or the stored
// name of the single file of an envelope package.

#include <cstddef>
#include <cstdint>

#include "signature/SignatureRecord.h"

constexpr size_t kMaxSecureInfoRecipients = 200;
constexpr const char* kMixedFilesText = "混合文件";

// One recipient record of an envelope package.
struct Decrypt_Info {
    int32_t recipientTextLength;
    char recipientText[184];
    int32_t keyTextLength;
    char keyText[60];
    int32_t wrappedLength;
    unsigned char wrapped[1000];
    int32_t vectorLength;
    unsigned char vector[1000];  // filled only for packages of version "10"
    uint16_t crc;
};

// The sender record of an envelope package.
struct Verify_IndexInfo {
    int32_t identityLength;
    char identity[132];
    int32_t senderKeyNameLength;
    char senderKeyName[160];
    uint16_t crc;
};
