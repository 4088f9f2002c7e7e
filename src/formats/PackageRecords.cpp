// The plain writer, plain re-reader and sealed rewriter of package records. The reader of
// sealed records is PackageRecordReader.

#include "formats/PackageRecords.h"

#include "formats/Messages.h"
#include "formats/ProtectedFields.h"
#include "formats/RecordIo.h"
#include "platform/MessageBox.h"

namespace {

bool WritePlain(RecordIo& io, CFile* package, int32_t type, std::string_view name, size_t zeros) {
    const int32_t second = 0, length = static_cast<int32_t>(name.size());
    // Every field behind the name, and the CRC, are place-holders until the record is sealed.
    static const unsigned char kZeros[4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2] = {};
    return io.Write(package, &type, 4) && io.Write(package, &second, 4) && io.Write(package, &length, 4) &&
           io.Write(package, name.data(), name.size()) && io.Write(package, kZeros, zeros);
}

}  // namespace

bool WritePlainDirectoryRecord(RecordIo& io, CFile* package, std::string_view storedFolder) {
    return WritePlain(io, package, kRecordDirectory, storedFolder, 2);
}

bool WritePlainFileRecord(RecordIo& io, CFile* package, std::string_view name) {
    return WritePlain(io, package, kRecordFile, name, 4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2);
}

bool ReadPlainRecord(RecordIo& io, CFile* package, PackageRecord& record) {
    record = PackageRecord{};
    if (!io.Read(package, &record.type, 4, nullptr, true) || !io.Read(package, &record.second, 4, nullptr, true))
        return false;
    if (record.type & (kRecordBitDirectory | kRecordBitFile)) {
        int32_t length = 0;
        if (!io.Read(package, &length, 4, nullptr, true)) return false;
        // File names are never empty; the base folder's relative path is.
        const int32_t least = (record.type & kRecordBitDirectory) ? 0 : 1;
        if (length < least || static_cast<size_t>(length) >= kRecordNameRoom) {
            ShowMessage(msg::formats::StructureError);
            return false;
        }
        record.name.resize(static_cast<size_t>(length));
        if (!io.Read(package, record.name.data(), record.name.size(), nullptr, true)) return false;
        record.type = (record.type & kRecordBitDirectory) ? kRecordDirectory : kRecordFile;
        return true;
    }
    if (record.type & kRecordBitEnd) {
        record.type = kRecordEnd;
        return true;
    }
    ShowMessage(msg::formats::StructureError);
    return false;
}

bool SealDirectoryRecord(RecordIo& io, CFile* package, std::string_view storedFolder) {
    ProtectedWriter w(io, package);
    return w.I32(kRecordDirectory) && w.I32(0) && w.I32(static_cast<int32_t>(storedFolder.size())) &&
           w.Field(storedFolder.data(), storedFolder.size()) && w.Finish();
}

bool SealFileRecord(RecordIo& io, CFile* package, const PackageRecord& r) {
    ProtectedWriter w(io, package);
    return w.I32(kRecordFile) && w.I32(r.second) && w.I32(static_cast<int32_t>(r.name.size())) &&
           w.Field(r.name.data(), r.name.size()) && w.I32(r.contentLength) && w.Field(r.modified, kTimeTextSize) &&
           w.Field(r.created, kTimeTextSize) && w.I32(r.size) && w.U8(r.attributes) && w.U16(r.contentCrc) &&
           w.Finish();
}

bool SealEndRecord(RecordIo& io, CFile* package, int32_t second) {
    ProtectedWriter w(io, package);
    return w.I32(kRecordEnd) && w.I32(second) && w.Finish();
}

bool WritePlainEndRecord(RecordIo& io, CFile* package) {
    const int32_t type = kRecordEnd, second = 0;
    const uint16_t crc = 0;
    static_assert(sizeof type + sizeof second + sizeof crc == kRecordEndSize);
    return io.Write(package, &type, sizeof type) && io.Write(package, &second, sizeof second) &&
           io.Write(package, &crc, sizeof crc);
}

bool ReadKeyCheckBlock(RecordIo& io, CFile* package, std::vector<unsigned char>& check,
                       std::vector<unsigned char>& iv) {
    ProtectedReader block(io, package);
    for (std::vector<unsigned char>* field : {&check, &iv}) {
        int32_t length = 0;
        if (!block.I32(length)) return false;
        if (length < 0 || static_cast<size_t>(length) > kKeyCheckRoom) {
            ShowMessage(msg::formats::StructureError);
            return false;
        }
        field->resize(static_cast<size_t>(length));
        if (!block.Field(field->data(), field->size())) return false;
    }
    bool matches = false;
    if (!block.CheckCrc(true, &matches)) return false;
    if (!matches) ShowMessage(msg::formats::RecordCrc3);
    return matches;
}
