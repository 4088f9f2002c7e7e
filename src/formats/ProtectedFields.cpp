#include "formats/ProtectedFields.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/Crc16.h"
#include "engine/Korvane.h"

ProtectedWriter::ProtectedWriter(CKorvane& engine, CFile* file) : m_engine(engine), m_file(file) {
    m_engine.CRC_Init();
}

ProtectedWriter::~ProtectedWriter() = default;

bool ProtectedWriter::Field(const void* data, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    // The caller's value stays plain: the field is sealed where it is gathered.
    const size_t at = m_record.size();
    m_record.insert(m_record.end(), static_cast<const unsigned char*>(data),
                    static_cast<const unsigned char*>(data) + n);
    char* field = reinterpret_cast<char*>(m_record.data() + at);
    m_ok = m_engine.SerialEncrypt(field, static_cast<int>(n), field) == 1;
    if (m_ok) m_engine.CRC_Update(m_record.data() + at, static_cast<int>(n));
    return m_ok;
}

bool ProtectedWriter::Plain(const void* data, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    m_engine.CRC_Update(static_cast<const unsigned char*>(data), static_cast<int>(n));
    m_record.insert(m_record.end(), static_cast<const unsigned char*>(data),
                    static_cast<const unsigned char*>(data) + n);
    return true;
}

bool ProtectedWriter::Finish() {
    if (!m_ok) return false;
    const uint16_t crc = m_engine.CRC_Final();
    const auto* bytes = reinterpret_cast<const unsigned char*>(&crc);
    m_record.insert(m_record.end(), bytes, bytes + sizeof crc);
    m_ok = m_engine.fWriteBuf(m_file, m_record.data(), m_record.size()) == 1;
    return m_ok;
}

ProtectedReader::ProtectedReader(CKorvane& engine, CFile* file, bool quiet)
    : m_engine(engine), m_file(file), m_quiet(quiet) {
    m_engine.CRC_Init();
}

ProtectedReader::ProtectedReader(CKorvane& engine, ByteCursor& cursor, bool quiet)
    : m_engine(engine), m_cursor(&cursor), m_quiet(quiet) {
    m_engine.CRC_Init();
}

bool ProtectedReader::Short() {
    if (!m_quiet) CKorvane::ShowShortRead();
    return false;
}

bool ProtectedReader::ReadExact(void* out, size_t n) {
    if (m_cursor) return m_cursor->Copy(out, n) || Short();
    if (!m_quiet) {
        unsigned long got = 0;
        return m_engine.fReadBuf(m_file, out, n, &got, 1) == 1;
    }
    try {
        return m_file->Read(out, static_cast<unsigned>(n)) == n;
    } catch (const CFileException&) {
        return false;
    }
}

bool ProtectedReader::Field(void* out, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    auto* bytes = static_cast<unsigned char*>(out);
    m_ok = ReadExact(bytes, n);
    if (!m_ok) return false;
    m_engine.CRC_Update(bytes, static_cast<int>(n));
    m_ok = m_engine.SerialDecrypt(reinterpret_cast<char*>(bytes), static_cast<int>(n),
                                  reinterpret_cast<char*>(bytes)) == 1;
    return m_ok;
}

bool ProtectedReader::Plain(void* out, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    m_ok = ReadExact(out, n);
    if (m_ok) m_engine.CRC_Update(static_cast<const unsigned char*>(out), static_cast<int>(n));
    return m_ok;
}

ProtectedReader::Text ProtectedReader::String(int32_t length, size_t cap, std::string& out) {
    out.clear();
    if (!m_ok) return Text::kFailed;
    if (length < 0 || static_cast<size_t>(length) >= cap) {
        m_ok = false;
        return Text::kTooLong;
    }
    out.resize(static_cast<size_t>(length));
    return Field(out.data(), out.size()) ? Text::kOk : Text::kFailed;
}

bool ProtectedReader::CheckCrc(bool exact, bool* matches, uint16_t* storedCrc) {
    *matches = false;
    if (!m_ok) return false;
    uint16_t stored = 0;
    unsigned long got = 0;
    if (m_cursor) {
        // A CRC cut short by the end is a short read when exact (or quiet); otherwise it
        // simply does not match, as with the file.
        got = std::min(m_cursor->Remaining(), sizeof stored);
        if (got < sizeof stored && (exact || m_quiet)) m_ok = Short();
        if (m_ok) m_cursor->Copy(&stored, got);
    } else if (m_quiet) {
        m_ok = ReadExact(&stored, sizeof stored);
        got = sizeof stored;
    } else {
        m_ok = m_engine.fReadBuf(m_file, &stored, sizeof stored, &got, exact ? 1 : 0) == 1;
    }
    if (!m_ok) return false;
    uint16_t computed = m_engine.CRC_Final();
    *matches = got == sizeof stored && StoredCrcMatches(stored, computed);
    if (storedCrc) *storedCrc = stored;
    return true;
}
