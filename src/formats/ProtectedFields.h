#pragma once
// Records of secured files protect every field the same way: each field is sealed on its own
// (RecordIo::Seal / Unseal), the stored bytes of all fields feed one CRC started afresh for the
// record, and the record ends with that CRC, never enciphered.
// ProtectedWriter and ProtectedReader walk one record that way, keeping the caller's values
// plain and refusing lengths read from a file that exceed the room they fill.
//
// Both work through a record I/O object (formats/RecordIo.h: its CRC register, field cipher
// and checked calls): a failure has shown its message when a call returns false, and a writer
// or reader that has failed stays failed. The writer gathers
// a record's stored bytes and writes them with its CRC in one write at Finish (a record of
// many small fields costs one system call, and a failed record leaves nothing in the file).

#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/ByteCursor.h"
#include "platform/Secret.h"

class RecordIo;
class CFile;

class ProtectedWriter {
public:
    ProtectedWriter(RecordIo& io, CFile* file);
    ~ProtectedWriter();
    ProtectedWriter(const ProtectedWriter&) = delete;
    ProtectedWriter& operator=(const ProtectedWriter&) = delete;

    // Enciphers a copy of the n bytes, feeds it to the CRC and gathers it.
    bool Field(const void* data, size_t n);
    bool I32(int32_t value) { return Field(&value, sizeof value); }
    bool U16(uint16_t value) { return Field(&value, sizeof value); }
    bool U8(uint8_t value) { return Field(&value, sizeof value); }
    // A field of a plain record (the signature trailer): fed to the CRC and gathered as it is.
    bool Plain(const void* data, size_t n);
    // Writes the gathered fields and the record CRC over them.
    bool Finish();
    bool Ok() const { return m_ok; }

private:
    RecordIo& m_io;
    CFile* m_file;
    SecretBytes m_record;  // wiped when released, also as it grows
    bool m_ok = true;
};

class ProtectedReader {
public:
    // A quiet reader shows nothing for a short read or a file error (the security information
    // reads damaged files without a word); it fails the same way.
    ProtectedReader(RecordIo& io, CFile* file, bool quiet = false);
    // The same fields taken from bytes already read (a record read with one read); running
    // out of bytes fails as a short read of the file would.
    ProtectedReader(RecordIo& io, ByteCursor& cursor, bool quiet = false);

    // Reads exactly n stored bytes, feeds them to the CRC, deciphers them into out.
    bool Field(void* out, size_t n);
    bool I32(int32_t& value) { return Field(&value, sizeof value); }
    bool U16(uint16_t& value) { return Field(&value, sizeof value); }
    bool U8(uint8_t& value) { return Field(&value, sizeof value); }
    // A field of a plain record: read exactly and fed to the CRC as it is.
    bool Plain(void* out, size_t n);
    // A text field of `length` bytes whose length was read from the file: refused (false, no
    // message; the caller shows its structure message) unless 0 <= length < room.
    enum class Text { kOk, kTooLong, kFailed };
    Text String(int32_t length, size_t room, std::string& out);
    // Reads the stored record CRC and compares it with the CRC of the fields read. `exact`
    // as in RecordIo::Read. Sets *matches (and *stored, when given); false only when the read
    // itself failed.
    bool CheckCrc(bool exact, bool* matches, uint16_t* stored = nullptr);
    bool Ok() const { return m_ok; }

private:
    // Reads exactly n bytes, through the checked reader unless quiet.
    bool ReadExact(void* out, size_t n);

    // Fails as a short exact read fails (its message unless quiet).
    bool Short();

    RecordIo& m_io;
    CFile* m_file = nullptr;
    ByteCursor* m_cursor = nullptr;
    bool m_quiet;
    bool m_ok = true;
};
