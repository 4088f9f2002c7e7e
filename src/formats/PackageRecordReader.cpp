#include "formats/PackageRecordReader.h"

#include <algorithm>
#include <cstring>

#include "formats/ByteCursor.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "formats/ProtectedFields.h"
#include "formats/RecordIo.h"
#include "platform/CFile.h"
#include "platform/MessageBox.h"

namespace {

// The longest record the reader accepts: a file record with the longest name and both times.
constexpr size_t kLargestRecord = 4 + 4 + 4 + (kRecordNameRoom - 1) + 4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2;
static_assert(kLargestRecord <= kRecordWindow);

}  // namespace

PackageRecordReader::PackageRecordReader(RecordIo& io, CFile* package, bool oldLayout, bool quiet)
    : m_io(io), m_package(package), m_oldLayout(oldLayout), m_quiet(quiet) {}

PackageRecordReader::~PackageRecordReader() = default;

bool PackageRecordReader::Fail(const MessageDef& message) const {
    if (!m_quiet) ShowMessage(message);
    return false;
}

// Reads the window at `offset` with one read; a file error has shown its message.
bool PackageRecordReader::Fill(uint64_t offset) {
    if (!m_window) m_window = std::make_unique_for_overwrite<unsigned char[]>(kRecordWindow);
    m_windowStart = offset;
    m_windowLength = 0;
    m_windowAtEnd = false;
    size_t got = 0;
    if (m_quiet) {
        try {
            m_package->Seek(static_cast<int64_t>(offset), CFile::begin);
            got = m_package->Read(m_window.get(), kRecordWindow);
        } catch (const CFileException&) {
            return false;
        }
    } else if (!m_io.Seek(m_package, static_cast<int64_t>(offset), CFile::begin) ||
               !m_io.Read(m_package, m_window.get(), kRecordWindow, &got, false)) {
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
            if (!m_quiet) m_io.ShowReadError(e);
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
    if (!m_quiet) return m_io.Seek(m_package, static_cast<int64_t>(m_next), CFile::begin);
    try {
        m_package->Seek(static_cast<int64_t>(m_next), CFile::begin);
    } catch (const CFileException&) {
        return false;
    }
    return true;
}

// Reads a text field whose length was just read; a length beyond the reader's room is a
// structure error, shown here.
bool PackageRecordReader::ReadName(ProtectedReader& fields, int32_t length, std::string& out) {
    switch (fields.String(length, kRecordNameRoom, out)) {
        case ProtectedReader::Text::kOk:
            return true;
        case ProtectedReader::Text::kTooLong:
            return Fail(msg::formats::StructureError);
        default:
            return false;
    }
}

bool PackageRecordReader::Next(PackageRecord& record) {
    record = PackageRecord{};
    ByteCursor cursor(nullptr, 0);
    if (!Start(cursor)) return false;
    ProtectedReader fields(m_io, cursor, m_quiet);
    if (!fields.I32(record.type) || !fields.I32(record.second)) return false;
    bool ok = false;
    if (record.type & kRecordBitDirectory) {
        ok = ReadDirectory(fields, record);
    } else if (record.type & kRecordBitFile) {
        ok = ReadFile(fields, record);
    } else if (record.type & kRecordBitEnd) {
        record.type = kRecordEnd;
        ok = FinishEnd(fields, &msg::formats::EndCrc7);
    } else {
        return Fail(msg::formats::StructureError);
    }
    return ok && Behind(cursor.Position());
}

bool PackageRecordReader::ReadEnd(int32_t* second, const MessageDef* crcMessage) {
    ByteCursor cursor(nullptr, 0);
    if (!Start(cursor)) return false;
    ProtectedReader fields(m_io, cursor, m_quiet);
    int32_t type = 0, value = 0;
    if (!fields.I32(type) || !fields.I32(value)) return false;
    if ((type & (kRecordBitDirectory | kRecordBitFile)) != 0 || (type & kRecordBitEnd) == 0) {
        return Fail(msg::formats::StructureError);
    }
    if (!FinishEnd(fields, crcMessage) || !Behind(cursor.Position())) return false;
    if (second) *second = value;
    return true;
}

bool PackageRecordReader::FinishEnd(ProtectedReader& fields, const MessageDef* crcMessage) {
    bool matches = false;
    if (!fields.CheckCrc(true, &matches)) return false;
    if (!matches && crcMessage && !m_quiet) ShowMessage(*crcMessage);
    return matches;
}

bool PackageRecordReader::ReadDirectory(ProtectedReader& fields, PackageRecord& record) {
    int32_t length = 0;
    if (!fields.I32(length) || !ReadName(fields, length, record.name)) return false;
    bool matches = false;
    if (!fields.CheckCrc(true, &matches)) return false;
    if (!matches) return Fail(msg::formats::FolderCrc4);
    // A folder that would resolve outside the output folder is refused before anything is made.
    if (!IsSafeStoredFolder(record.name)) return Fail(msg::formats::StructureError);
    record.type = kRecordDirectory;
    record.name = FromStoredFolder(record.name);
    if (!record.name.empty()) record.name = WithSeparator(record.name);
    return true;
}

bool PackageRecordReader::ReadFile(ProtectedReader& fields, PackageRecord& record) {
    int32_t length = 0;
    if (!fields.I32(length) || !ReadName(fields, length, record.name)) return false;
    if (!fields.I32(record.contentLength) || !fields.Field(record.modified, kTimeTextSize)) return false;
    if (!m_oldLayout && !fields.Field(record.created, kTimeTextSize)) return false;
    if (!fields.I32(record.size) || !fields.U8(record.attributes) || !fields.U16(record.contentCrc)) return false;
    bool matches = false;
    if (!fields.CheckCrc(false, &matches)) return false;
    if (!matches) return Fail(msg::formats::FileCrc5);
    if (!IsSafeStoredName(record.name) || record.contentLength < 0 || record.second < 0)
        return Fail(msg::formats::StructureError);
    record.type = kRecordFile;
    return true;
}
