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

#include "formats/EnvelopeRecords.h"  // Decrypt_Info, Verify_IndexInfo
#include "signature/SignatureRecord.h"

constexpr size_t kMaxSecureInfoRecipients = kMaxRecipients;
constexpr const char* kMixedFilesText = "混合文件";

class CKorvane;

// What the signature trailer of an envelope package (kind 2 or 8) holds, read without decrypting
// anything: 1 a bare digest (which proves only that the content is intact, never who sent it),
// 0 a signature, -1 when the package cannot be read to its trailer. Shows nothing.
int EnvelopeHoldsBareDigest(CKorvane& engine, const char* path);
