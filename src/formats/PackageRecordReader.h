#pragma once
// Reads the sealed records of a password or envelope package's record list, one at a time,
// checking each record's CRC (the end record's included), every length against the room it
// fills, and every name against leaving the output folder. Each failure has shown its one
// message when Next() returns false.
//
// The list is read ahead in windows of kRecordWindow bytes, one read each, and every record is
// parsed from memory through a bounds-checked cursor: a record list costs a few reads however
// many records it holds. The reader keeps its own place in the list, so the package's position
// may be moved between two records (a restore reads each file's content in between); after each
// record read, the package is positioned right behind it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "formats/PackageRecords.h"

class RecordIo;
class CFile;
class ByteCursor;
class ProtectedReader;
struct MessageDef;

// Bytes of the record list read at once.
constexpr size_t kRecordWindow = 64 * 1024;

class PackageRecordReader {
public:
    // Reads from the package's position. `oldLayout`: version "10" file records have no second
    // time. A `quiet` reader shows nothing (the security information reads damaged files
    // without a word).
    PackageRecordReader(RecordIo& io, CFile* package, bool oldLayout, bool quiet = false);
    ~PackageRecordReader();
    PackageRecordReader(const PackageRecordReader&) = delete;
    PackageRecordReader& operator=(const PackageRecordReader&) = delete;

    // Reads the next record. A type with none of the known bits is a structure error.
    bool Next(PackageRecord& record);
    // Reads an end record as the next record: any other type is a structure error, a CRC
    // mismatch shows crcMessage (when not null).
    bool ReadEnd(int32_t* second, const MessageDef* crcMessage);

private:
    bool Start(ByteCursor& cursor);
    bool Fill(uint64_t offset);
    bool Behind(size_t used);
    bool FinishEnd(ProtectedReader& fields, const MessageDef* crcMessage);
    bool ReadDirectory(ProtectedReader& fields, PackageRecord& record);
    bool ReadFile(ProtectedReader& fields, PackageRecord& record);
    bool ReadName(ProtectedReader& fields, int32_t length, std::string& out);
    bool Fail(const MessageDef& message) const;

    RecordIo& m_io;
    CFile* m_package;
    bool m_oldLayout;
    bool m_quiet;
    bool m_started = false;
    uint64_t m_next = 0;  // package offset of the next record
    std::unique_ptr<unsigned char[]> m_window;
    uint64_t m_windowStart = 0;
    size_t m_windowLength = 0;
    bool m_windowAtEnd = false;  // the window reaches the package's end
};
