#include "formats/ProtectedFields.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/RecordIo.h"
#include "platform/CFile.h"

ProtectedWriter::ProtectedWriter(RecordIo& io, CFile* file) : m_io(io), m_file(file) { m_io.CrcInit(); }

ProtectedWriter::~ProtectedWriter() = default;

bool ProtectedWriter::Field(const void* data, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    // The caller's value stays plain: the field is sealed where it is gathered.
    const size_t at = m_record.size();
    m_record.insert(m_record.end(), static_cast<const unsigned char*>(data),
                    static_cast<const unsigned char*>(data) + n);
    m_ok = m_io.Seal(m_record.data() + at, n);
    if (m_ok) m_io.CrcUpdate(m_record.data() + at, n);
    return m_ok;
}

bool ProtectedWriter::Plain(const void* data, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    m_io.CrcUpdate(data, n);
    m_record.insert(m_record.end(), static_cast<const unsigned char*>(data),
                    static_cast<const unsigned char*>(data) + n);
    return true;
}

bool ProtectedWriter::Finish() {
    if (!m_ok) return false;
    const uint16_t crc = m_io.CrcFinal();
    const auto* bytes = reinterpret_cast<const unsigned char*>(&crc);
    m_record.insert(m_record.end(), bytes, bytes + sizeof crc);
    m_ok = m_io.Write(m_file, m_record.data(), m_record.size());
    return m_ok;
}

ProtectedReader::ProtectedReader(RecordIo& io, CFile* file, bool quiet) : m_io(io), m_file(file), m_quiet(quiet) {
    m_io.CrcInit();
}

ProtectedReader::ProtectedReader(RecordIo& io, ByteCursor& cursor, bool quiet)
    : m_io(io), m_cursor(&cursor), m_quiet(quiet) {
    m_io.CrcInit();
}

bool ProtectedReader::Short() {
    if (!m_quiet) m_io.ShowShortRead();
    return false;
}

bool ProtectedReader::ReadExact(void* out, size_t n) {
    if (m_cursor) return m_cursor->Copy(out, n) || Short();
    if (!m_quiet) return m_io.Read(m_file, out, n, nullptr, true);
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
    m_io.CrcUpdate(bytes, n);
    m_ok = m_io.Unseal(bytes, n);
    return m_ok;
}

bool ProtectedReader::Plain(void* out, size_t n) {
    if (!m_ok) return false;
    if (n == 0) return true;
    m_ok = ReadExact(out, n);
    if (m_ok) m_io.CrcUpdate(out, n);
    return m_ok;
}

ProtectedReader::Text ProtectedReader::String(int32_t length, size_t room, std::string& out) {
    out.clear();
    if (!m_ok) return Text::kFailed;
    if (length < 0 || static_cast<size_t>(length) >= room) {
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
    size_t got = 0;
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
        m_ok = m_io.Read(m_file, &stored, sizeof stored, &got, exact);
    }
    if (!m_ok) return false;
    *matches = m_io.CrcMatches(stored) && got == sizeof stored;
    if (storedCrc) *storedCrc = stored;
    return true;
}
