#include "formats/PackageRecordReader.h"

#include "engine/Korvane.h"
#include "formats/PackagePaths.h"
#include "formats/ProtectedFields.h"
#include "platform/MessageBox.h"

bool PackageRecordReader::Fail(const char* message) const {
    if (!m_quiet) AfxMessageBox(message);
    return false;
}

// Reads a text field whose length was just read; a length beyond the reader's room is a
// structure error, shown here.
bool PackageRecordReader::ReadName(ProtectedReader& reader, int32_t length, std::string& out) {
    switch (reader.String(length, kRecordNameCap, out)) {
        case ProtectedReader::Text::kOk:
            return true;
        case ProtectedReader::Text::kTooLong:
            return Fail(kStructureError);
        default:
            return false;
    }
}

bool PackageRecordReader::Next(PackageRecord& record) {
    record = PackageRecord{};
    ProtectedReader reader(m_engine, m_package, m_quiet);
    if (!reader.I32(record.type) || !reader.I32(record.second)) return false;
    if (record.type & kRecordBitDirectory) return ReadDirectory(reader, record);
    if (record.type & kRecordBitFile) return ReadFile(reader, record);
    if (record.type & kRecordBitEndOfHead) {
        record.type = kRecordEnd;
        return FinishEnd(reader, "CRC校验错, 文件被损坏, 不能解密文件-7. ");
    }
    return Fail(kStructureError);
}

bool PackageRecordReader::ReadEnd(int32_t* second, const char* crcMessage) {
    ProtectedReader reader(m_engine, m_package, m_quiet);
    int32_t type = 0, value = 0;
    if (!reader.I32(type) || !reader.I32(value)) return false;
    if ((type & (kRecordBitDirectory | kRecordBitFile)) != 0 || (type & kRecordBitEndOfHead) == 0) {
        return Fail(kStructureError);
    }
    if (!FinishEnd(reader, crcMessage)) return false;
    if (second) *second = value;
    return true;
}

bool PackageRecordReader::FinishEnd(ProtectedReader& reader, const char* crcMessage) {
    bool matches = false;
    if (!reader.CheckCrc(true, &matches)) return false;
    if (!matches && crcMessage && !m_quiet) AfxMessageBox(crcMessage);
    return matches;
}

bool PackageRecordReader::ReadDirectory(ProtectedReader& reader, PackageRecord& record) {
    int32_t length = 0;
    if (!reader.I32(length) || !ReadName(reader, length, record.name)) return false;
    bool matches = false;
    if (!reader.CheckCrc(true, &matches)) return false;
    if (!matches) return Fail("CRC校验错, 文件被损坏, 不能解密文件 -4. ");
    // A folder that would resolve outside the output folder is refused before anything is made.
    if (!IsSafeStoredFolder(record.name)) return Fail(kStructureError);
    record.type = kRecordDirectory;
    record.name = FromStoredFolder(record.name);
    if (!record.name.empty()) record.name = WithSeparator(record.name);
    return true;
}

bool PackageRecordReader::ReadFile(ProtectedReader& reader, PackageRecord& record) {
    int32_t length = 0;
    if (!reader.I32(length) || !ReadName(reader, length, record.name)) return false;
    if (!reader.I32(record.contentLength) || !reader.Field(record.modified, kTimeTextSize)) return false;
    if (!m_oldLayout && !reader.Field(record.created, kTimeTextSize)) return false;
    if (!reader.I32(record.size) || !reader.U8(record.attributes) || !reader.U16(record.contentCrc)) return false;
    bool matches = false;
    if (!reader.CheckCrc(false, &matches)) return false;
    if (!matches) return Fail("CRC校验错, 文件被损坏, 不能解密文件-5. ");
    if (!IsSafeStoredName(record.name) || record.contentLength < 0 || record.second < 0) return Fail(kStructureError);
    record.type = kRecordFile;
    return true;
}
