#pragma once
// The records an envelope package carries between its head and its package records, and the
// signature trailer at its end. Every field is sealed on its own and one CRC per record runs
// over the stored bytes (ProtectedWriter / ProtectedReader); the trailer alone is plain.
//
//   sender      L1 (4) | identity text (L1) | L2 (4) | sender key name (L2) | CRC (2)
//   recipient   L1 (4) | recipient text (L1) | L2 (4) | recipient key text (L2) |
//   version 30    W (4) | V (4) | wrapped key then IV (W) | CRC (2)
//   recipient   L1 (4) | recipient text (L1) | L2 (4) | recipient key text (L2) |
//   version 10    W (4) | wrapped key (W) | V (4) | wrapped IV (V) | CRC (2)
//   trailer     digest-only flag (4, absent in version 10) | S (4) | signature (S) | CRC (2)
//
// Texts are stored without terminator. The rooms below are those of the in-memory forms the
// readers fill: a text's length must leave room for its terminator, a byte field's length
// must fit. A length beyond its room is refused before anything is read into it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "formats/EncryptFlag.h"
#include "formats/Messages.h"

class RecordIo;
class CFile;

constexpr size_t kSenderIdentityRoom = 132;      // characters, terminator included
constexpr size_t kSenderKeyNameRoom = 160;       // characters, terminator included
constexpr size_t kRecipientTextRoom = 184;       // characters, terminator included
constexpr size_t kRecipientKeyTextRoom = 60;     // characters, terminator included
constexpr size_t kWrappedKeyRoom = 1000;         // bytes: wrapped key, and the old layout's wrapped IV
constexpr size_t kTrailerSignatureRoom = 10240;  // bytes
constexpr size_t kMaxRecipients = 200;           // recipient records of one package

// The sender record as read.
struct Verify_IndexInfo {
    int32_t identityLength;
    char identity[kSenderIdentityRoom];
    int32_t senderKeyNameLength;
    char senderKeyName[kSenderKeyNameRoom];
    uint16_t crc;
};

// One recipient record as read. In the version-30 layout vectorLength is the length of the
// IV inside the wrapped block and vector stays empty; in the version-10 layout the IV is
// wrapped on its own into vector.
struct Decrypt_Info {
    int32_t recipientTextLength;
    char recipientText[kRecipientTextRoom];
    int32_t keyTextLength;
    char keyText[kRecipientKeyTextRoom];
    int32_t wrappedLength;
    unsigned char wrapped[kWrappedKeyRoom];
    int32_t vectorLength;
    unsigned char vector[kWrappedKeyRoom];
    uint16_t crc;
};

// The signature trailer as read.
struct SignatureTrailer {
    int32_t digestOnly;
    int32_t signatureLength;
    unsigned char signature[kTrailerSignatureRoom];
    uint16_t crc;
};

// ---- Writers. Each writes one record at the file's position through the record I/O's field cipher,
// CRC and checked writer. A value beyond what the readers accept is refused with "参数错"
// before anything is written; an I/O or cipher failure has shown its own message.
bool WriteSenderRecord(RecordIo& io, CFile* file, std::string_view identity, std::string_view keyName);
// Version-30 layout. wrapped holds the session key then the IV, wrapped as one block.
bool WriteRecipientRecord(RecordIo& io, CFile* file, std::string_view text, std::string_view keyText,
                          std::span<const unsigned char> wrapped, int32_t ivLength);
bool WriteSignatureTrailer(RecordIo& io, CFile* file, int32_t digestOnly, std::span<const unsigned char> signature);

// ---- Readers. Each reads one record at the file's position and checks its CRC and every
// length against its room. `quiet` readers show nothing (security information); the others
// show the record's CRC message for damage, and the checked reader's message for I/O.
bool ReadSenderRecord(RecordIo& io, CFile* file, Verify_IndexInfo& out, bool quiet = false);
bool ReadRecipientRecord(RecordIo& io, CFile* file, bool oldLayout, Decrypt_Info& out, bool quiet = false);
bool ReadSignatureTrailer(RecordIo& io, CFile* file, bool oldLayout, SignatureTrailer& out, bool quiet = false);

// The sender record and `count` (at most kMaxRecipients) recipient records, read from behind
// the head (the file positioned at offset 300; the head says the layout and the count). No
// session key is unwrapped and nothing of the contents is read, so this answers who sent a
// package and for whom.
struct EnvelopeBlocks {
    Verify_IndexInfo sender;
    std::vector<Decrypt_Info> recipients;
};
bool ReadEnvelopeBlocks(RecordIo& io, CFile* file, bool oldLayout, size_t count, EnvelopeBlocks& out,
                        bool quiet = false);
