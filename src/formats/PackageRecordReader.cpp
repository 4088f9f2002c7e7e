#include "formats/PackageRecordReader.h"

#include <algorithm>
#include <cstring>

#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/ByteCursor.h"
#include "formats/PackagePaths.h"
#include "platform/MessageBox.h"

namespace {

// The longest record the reader accepts: a file record with the longest name and both times.
constexpr size_t kLargestRecord = 4 + 4 + 4 + (kRecordNameCap - 1) + 4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2;
static_assert(kLargestRecord <= kRecordWindow);

}  // namespace

// The fields of one record taken in order from the bytes read: each is fed to the record's CRC
// as stored, then deciphered on its own. A field cut short by the package's end fails as the
// checked reader fails a short read; a reader that has failed stays failed.
class PackageRecordReader::Fields {
public:
    Fields(CKorvane& engine, ByteCursor& cursor, bool quiet) : m_engine(engine), m_cursor(cursor), m_quiet(quiet) {
        m_engine.CRC_Init();
    }

    bool Field(void* out, size_t n) {
        if (!m_ok) return false;
        if (n == 0) return true;
        if (!m_cursor.Copy(out, n)) return Short();
        auto* bytes = static_cast<char*>(out);
        m_engine.CRC_Update(reinterpret_cast<const unsigned char*>(bytes), static_cast<int>(n));
        m_ok = m_engine.SerialDecrypt(bytes, static_cast<int>(n), bytes) == 1;
        return m_ok;
    }
    bool I32(int32_t& value) { return Field(&value, sizeof value); }
    bool U16(uint16_t& value) { return Field(&value, sizeof value); }
    bool U8(uint8_t& value) { return Field(&value, sizeof value); }

    // A text field whose length was just read: kTooLong (nothing taken, no message) unless
    // 0 <= length < cap.
    enum class Text { kOk, kTooLong, kFailed };
    Text String(int32_t length, size_t cap, std::string& out) {
        out.clear();
        if (!m_ok) return Text::kFailed;
        if (length < 0 || static_cast<size_t>(length) >= cap) {
            m_ok = false;
            return Text::kTooLong;
        }
        out.resize(static_cast<size_t>(length));
        return Field(out.data(), out.size()) ? Text::kOk : Text::kFailed;
    }

    // Takes the stored CRC and compares it with the CRC of the fields taken. An `exact` CRC
    // cut short fails as a short read; otherwise (file records) a short one does not match.
    // False only when taking it failed.
    bool CheckCrc(bool exact, bool* matches) {
        *matches = false;
        if (!m_ok) return false;
        const size_t have = std::min(m_cursor.Remaining(), sizeof(uint16_t));
        if (have < sizeof(uint16_t) && (exact || m_quiet)) return Short();
        uint16_t stored = 0;
        m_cursor.Copy(&stored, have);
        const uint16_t computed = m_engine.CRC_Final();
        *matches = have == sizeof stored && StoredCrcMatches(stored, computed);
        return true;
    }

private:
    bool Short() {
        m_ok = false;
        if (!m_quiet) CKorvane::ShowShortRead();
        return false;
    }

    CKorvane& m_engine;
    ByteCursor& m_cursor;
    bool m_quiet;
    bool m_ok = true;
};

PackageRecordReader::PackageRecordReader(CKorvane& engine, CFile* package, bool oldLayout, bool quiet)
    : m_engine(engine), m_package(package), m_oldLayout(oldLayout), m_quiet(quiet) {}

PackageRecordReader::~PackageRecordReader() = default;

bool PackageRecordReader::Fail(const char* message) const {
    if (!m_quiet) AfxMessageBox(message);
    return false;
}

// Reads the window at `offset` with one read; a file error has shown its message.
bool PackageRecordReader::Fill(uint64_t offset) {
    if (!m_window) m_window = std::make_unique_for_overwrite<unsigned char[]>(kRecordWindow);
    m_windowStart = offset;
    m_windowLength = 0;
    m_windowAtEnd = false;
    unsigned long got = 0;
    if (m_quiet) {
        try {
            m_package->Seek(static_cast<int64_t>(offset), CFile::begin);
            got = m_package->Read(m_window.get(), kRecordWindow);
        } catch (const CFileException&) {
            return false;
        }
    } else if (!m_engine.fSeek(m_package, static_cast<long>(offset), CFile::begin) ||
               !m_engine.fReadBuf(m_package, m_window.get(), kRecordWindow, &got, 0)) {
        return false;
    }
    m_windowLength = got;
    m_windowAtEnd = got < kRecordWindow;
    return true;
}

// Points the cursor at the next record, with the whole of any record the reader accepts in
// the window unless the package ends first.
bool PackageRecordReader::Start(ByteCursor& cursor) {
    if (!m_started) {
        try {
            m_next = m_package->GetPosition();
        } catch (const CFileException& e) {
            if (!m_quiet) CKorvane::ShowReadError(e);
            return false;
        }
        m_started = true;
    }
    const uint64_t windowEnd = m_windowStart + m_windowLength;
    const bool inside = m_window && m_next >= m_windowStart && m_next <= windowEnd;
    if (!inside || (windowEnd - m_next < kLargestRecord && !m_windowAtEnd)) {
        if (!Fill(m_next)) return false;
    }
    const size_t at = static_cast<size_t>(m_next - m_windowStart);
    cursor = ByteCursor(m_window.get() + at, m_windowLength - at);
    return true;
}

// Leaves the package right behind the record just read (`used` bytes from its start).
bool PackageRecordReader::Behind(size_t used) {
    m_next += used;
    if (!m_quiet) return m_engine.fSeek(m_package, static_cast<long>(m_next), CFile::begin) == 1;
    try {
        m_package->Seek(static_cast<int64_t>(m_next), CFile::begin);
    } catch (const CFileException&) {
        return false;
    }
    return true;
}

// Reads a text field whose length was just read; a length beyond the reader's room is a
// structure error, shown here.
bool PackageRecordReader::ReadName(Fields& fields, int32_t length, std::string& out) {
    switch (fields.String(length, kRecordNameCap, out)) {
        case Fields::Text::kOk:
            return true;
        case Fields::Text::kTooLong:
            return Fail(kStructureError);
        default:
            return false;
    }
}

bool PackageRecordReader::Next(PackageRecord& record) {
    record = PackageRecord{};
    ByteCursor cursor(nullptr, 0);
    if (!Start(cursor)) return false;
    Fields fields(m_engine, cursor, m_quiet);
    if (!fields.I32(record.type) || !fields.I32(record.second)) return false;
    bool ok = false;
    if (record.type & kRecordBitDirectory) {
        ok = ReadDirectory(fields, record);
    } else if (record.type & kRecordBitFile) {
        ok = ReadFile(fields, record);
    } else if (record.type & kRecordBitEndOfHead) {
        record.type = kRecordEnd;
        ok = FinishEnd(fields, "CRC校验错, 文件被损坏, 不能解密文件-7. ");
    } else {
        return Fail(kStructureError);
    }
    return ok && Behind(cursor.Position());
}

bool PackageRecordReader::ReadEnd(int32_t* second, const char* crcMessage) {
    ByteCursor cursor(nullptr, 0);
    if (!Start(cursor)) return false;
    Fields fields(m_engine, cursor, m_quiet);
    int32_t type = 0, value = 0;
    if (!fields.I32(type) || !fields.I32(value)) return false;
    if ((type & (kRecordBitDirectory | kRecordBitFile)) != 0 || (type & kRecordBitEndOfHead) == 0) {
        return Fail(kStructureError);
    }
    if (!FinishEnd(fields, crcMessage) || !Behind(cursor.Position())) return false;
    if (second) *second = value;
    return true;
}

bool PackageRecordReader::FinishEnd(Fields& fields, const char* crcMessage) {
    bool matches = false;
    if (!fields.CheckCrc(true, &matches)) return false;
    if (!matches && crcMessage && !m_quiet) AfxMessageBox(crcMessage);
    return matches;
}

bool PackageRecordReader::ReadDirectory(Fields& fields, PackageRecord& record) {
    int32_t length = 0;
    if (!fields.I32(length) || !ReadName(fields, length, record.name)) return false;
    bool matches = false;
    if (!fields.CheckCrc(true, &matches)) return false;
    if (!matches) return Fail("CRC校验错, 文件被损坏, 不能解密文件 -4. ");
    // A folder that would resolve outside the output folder is refused before anything is made.
    if (!IsSafeStoredFolder(record.name)) return Fail(kStructureError);
    record.type = kRecordDirectory;
    record.name = FromStoredFolder(record.name);
    if (!record.name.empty()) record.name = WithSeparator(record.name);
    return true;
}

bool PackageRecordReader::ReadFile(Fields& fields, PackageRecord& record) {
    int32_t length = 0;
    if (!fields.I32(length) || !ReadName(fields, length, record.name)) return false;
    if (!fields.I32(record.contentLength) || !fields.Field(record.modified, kTimeTextSize)) return false;
    if (!m_oldLayout && !fields.Field(record.created, kTimeTextSize)) return false;
    if (!fields.I32(record.size) || !fields.U8(record.attributes) || !fields.U16(record.contentCrc)) return false;
    bool matches = false;
    if (!fields.CheckCrc(false, &matches)) return false;
    if (!matches) return Fail("CRC校验错, 文件被损坏, 不能解密文件-5. ");
    if (!IsSafeStoredName(record.name) || record.contentLength < 0 || record.second < 0) return Fail(kStructureError);
    record.type = kRecordFile;
    return true;
}
