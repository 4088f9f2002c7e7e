#pragma once
// Records that follow the head (and, in password packages, the key-check block) of password
// and envelope packages. Readers test the type's bits in the order directory, file, end.
//
//   directory  type 10 | zero | name length | name (relative folder, ends with '\') | CRC
//   file       type 9  | content offset | name length | name | content length |
//              first time (14) | second time (14, absent in version "10") | size |
//              attributes (1) | content CRC (2) | CRC
//   end        type 4  | second field | CRC
//
// Plain form (after collection): type, name length and name as above, every other field 0,
// CRC places zero. Final form: every field enciphered, CRC over the stored bytes.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Messages.h"

class RecordIo;
class CFile;

// The record types as writers store them. The end record (the end-of-head record) closes the
// record list of password and envelope packages: its second field is 0 in password packages
// and the signature trailer's offset in envelope packages.
constexpr int32_t kRecordDirectory = 10;
constexpr int32_t kRecordFile = 9;
constexpr int32_t kRecordEnd = 4;
constexpr size_t kRecordEndSize = 4 + 4 + 2;
// Readers tell records apart by these bits of the stored type, tested in this order.
constexpr int32_t kRecordBitDirectory = 2;
constexpr int32_t kRecordBitFile = 1;
constexpr int32_t kRecordBitEnd = 4;
static_assert((kRecordDirectory & kRecordBitDirectory) != 0 && (kRecordFile & kRecordBitFile) != 0 &&
              (kRecordFile & kRecordBitDirectory) == 0 && (kRecordEnd & kRecordBitEnd) != 0 &&
              (kRecordEnd & (kRecordBitDirectory | kRecordBitFile)) == 0);

constexpr size_t kTimeTextSize = 14;
// Names are read into a 260-byte buffer: a stored name length of 260 or more is refused.
constexpr size_t kRecordNameRoom = 260;
// Check values and IVs are read into 2,000-byte buffers.
constexpr size_t kKeyCheckRoom = 2000;
// No content may start beyond this package offset; offsets and lengths are 32-bit.
constexpr int64_t kMaxContentStart = 1500000000;

// Whether a file of `size` bytes can be stored with its content starting at package offset
// `start`: the start within the limit above and the 32-bit offset field, the file below 2^31
// bytes (its enciphered length must also fit the length field; the writer checks that as it
// goes).
constexpr bool ContentFits(int64_t start, uint64_t size) {
    return start >= 0 && start <= kMaxContentStart && start <= INT32_MAX && size < (uint64_t{1} << 31);
}

// One record as the readers and the sealed rewriter hold it.
struct PackageRecord {
    int32_t type = 0;  // kRecordDirectory, kRecordFile or kRecordEnd
    int32_t second = 0;
    std::string name;  // as stored ('\\' separators) for the writers; readers give it native
    int32_t contentLength = 0;
    char modified[kTimeTextSize + 1] = {};
    char created[kTimeTextSize + 1] = {};  // empty in version "10" packages
    int32_t size = 0;
    uint8_t attributes = 0;
    uint16_t contentCrc = 0;
    int32_t ContentOffset() const { return second; }
};

// ---- Plain writer (the collection walk): the record at the file's position, every field
// but type, length and name zero. The name is the stored form.
bool WritePlainDirectoryRecord(RecordIo& io, CFile* package, std::string_view storedFolder);
bool WritePlainFileRecord(RecordIo& io, CFile* package, std::string_view name);

// ---- Plain re-reader (the encryption pass): type and second field, and for directory and
// file records the stored name, leaving the file behind the name. A name length beyond its
// room or a type with no known bit is a structure error, shown here.
bool ReadPlainRecord(RecordIo& io, CFile* package, PackageRecord& record);

// ---- Sealed rewriter: the record in its final form at the file's position.
bool SealDirectoryRecord(RecordIo& io, CFile* package, std::string_view storedFolder);
bool SealFileRecord(RecordIo& io, CFile* package, const PackageRecord& record);
bool SealEndRecord(RecordIo& io, CFile* package, int32_t second);
// ---- Plain end record (closes the collection walk's list): type, second field 0, CRC 0.
bool WritePlainEndRecord(RecordIo& io, CFile* package);

// ---- Key-check block of password packages, right behind the head:
//   check value length | check value | IV length | IV | CRC, every field but the CRC sealed.
// Reads it into `check` and `iv`; a length beyond kKeyCheckRoom is a structure error and a CRC
// that does not match shows the content CRC message, both shown here. Every reader of
// password packages (restore, listing) goes through it.
bool ReadKeyCheckBlock(RecordIo& io, CFile* package, std::vector<unsigned char>& check, std::vector<unsigned char>& iv);
