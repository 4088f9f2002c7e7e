#pragma once
// Records of secured files protect every field the same way: each field is sealed on its own
// (CKorvane::WriteSealedField / ReadSealedField), the stored bytes of all fields feed one CRC
// started afresh for the record, and the record ends with that CRC, never enciphered.
// ProtectedWriter and ProtectedReader walk one record that way, keeping the caller's values
// plain and refusing lengths read from a file that exceed the room they fill.
//
// Both use the engine's CRC register and checked I/O: a failure has shown its message when a
// call returns false, and a writer or reader that has failed stays failed.

#include <cstddef>
#include <cstdint>
#include <string>

class CKorvane;
class CFile;

class ProtectedWriter {
public:
    ProtectedWriter(CKorvane& engine, CFile* file);

    // Enciphers a copy of the n bytes, feeds it to the CRC and writes it.
    bool Field(const void* data, size_t n);
    bool I32(int32_t value) { return Field(&value, sizeof value); }
    bool U16(uint16_t value) { return Field(&value, sizeof value); }
    bool U8(uint8_t value) { return Field(&value, sizeof value); }
    // Writes the record CRC over every field so far.
    bool Finish();
    bool Ok() const { return m_ok; }

private:
    CKorvane& m_engine;
    CFile* m_file;
    bool m_ok = true;
};

class ProtectedReader {
public:
    ProtectedReader(CKorvane& engine, CFile* file);

    // Reads exactly n stored bytes, feeds them to the CRC, deciphers them into out.
    bool Field(void* out, size_t n);
    bool I32(int32_t& value) { return Field(&value, sizeof value); }
    bool U16(uint16_t& value) { return Field(&value, sizeof value); }
    bool U8(uint8_t& value) { return Field(&value, sizeof value); }
    // A text field of `length` bytes whose length was read from the file: refused (false, no
    // message; the caller shows its structure message) unless 0 <= length < cap.
    enum class Text { kOk, kTooLong, kFailed };
    Text String(int32_t length, size_t cap, std::string& out);
    // Reads the stored record CRC and compares it with the CRC of the fields read. `exact`
    // as in fReadBuf. Sets *matches; false only when the read itself failed.
    bool CheckCrc(bool exact, bool* matches);
    bool Ok() const { return m_ok; }

private:
    CKorvane& m_engine;
    CFile* m_file;
    bool m_ok = true;
};
