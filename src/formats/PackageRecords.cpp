// The plain writer, plain re-reader and sealed rewriter of package records. The reader of
// sealed records is PackageRecordReader.

#include "formats/PackageRecords.h"

#include "engine/Korvane.h"
#include "formats/Messages.h"
#include "formats/ProtectedFields.h"
#include "platform/MessageBox.h"

namespace {

bool WritePlain(CKorvane& engine, CFile* package, int32_t type, std::string_view name, size_t zeros) {
    const int32_t second = 0, length = static_cast<int32_t>(name.size());
    // Every field behind the name, and the CRC, are place-holders until the record is sealed.
    static const unsigned char kZeros[4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2] = {};
    return engine.fWriteBuf(package, &type, 4) && engine.fWriteBuf(package, &second, 4) &&
           engine.fWriteBuf(package, &length, 4) && engine.fWriteBuf(package, name.data(), name.size()) &&
           engine.fWriteBuf(package, kZeros, zeros);
}

}  // namespace

bool WritePlainDirectoryRecord(CKorvane& engine, CFile* package, std::string_view storedFolder) {
    return WritePlain(engine, package, kRecordDirectory, storedFolder, 2);
}

bool WritePlainFileRecord(CKorvane& engine, CFile* package, std::string_view name) {
    return WritePlain(engine, package, kRecordFile, name, 4 + 2 * kTimeTextSize + 4 + 1 + 2 + 2);
}

bool ReadPlainRecord(CKorvane& engine, CFile* package, PackageRecord& record) {
    record = PackageRecord{};
    unsigned long got = 0;
    if (!engine.fReadBuf(package, &record.type, 4, &got, 1) || !engine.fReadBuf(package, &record.second, 4, &got, 1))
        return false;
    if (record.type & (kRecordBitDirectory | kRecordBitFile)) {
        int32_t length = 0;
        if (!engine.fReadBuf(package, &length, 4, &got, 1)) return false;
        // File names are never empty; the base folder's relative path is.
        const int32_t least = (record.type & kRecordBitDirectory) ? 0 : 1;
        if (length < least || static_cast<size_t>(length) >= kRecordNameCap) {
            ShowMessage(msg::formats::StructureError);
            return false;
        }
        record.name.resize(static_cast<size_t>(length));
        if (!engine.fReadBuf(package, record.name.data(), record.name.size(), &got, 1)) return false;
        record.type = (record.type & kRecordBitDirectory) ? kRecordDirectory : kRecordFile;
        return true;
    }
    if (record.type & kRecordBitEndOfHead) {
        record.type = kRecordEnd;
        return true;
    }
    ShowMessage(msg::formats::StructureError);
    return false;
}

bool SealDirectoryRecord(CKorvane& engine, CFile* package, std::string_view storedFolder) {
    ProtectedWriter w(engine, package);
    return w.I32(kRecordDirectory) && w.I32(0) && w.I32(static_cast<int32_t>(storedFolder.size())) &&
           w.Field(storedFolder.data(), storedFolder.size()) && w.Finish();
}

bool SealFileRecord(CKorvane& engine, CFile* package, const PackageRecord& r) {
    ProtectedWriter w(engine, package);
    return w.I32(kRecordFile) && w.I32(r.second) && w.I32(static_cast<int32_t>(r.name.size())) &&
           w.Field(r.name.data(), r.name.size()) && w.I32(r.contentLength) && w.Field(r.modified, kTimeTextSize) &&
           w.Field(r.created, kTimeTextSize) && w.I32(r.size) && w.U8(r.attributes) && w.U16(r.contentCrc) &&
           w.Finish();
}

bool SealEndRecord(CKorvane& engine, CFile* package, int32_t second) {
    ProtectedWriter w(engine, package);
    return w.I32(kEndOfHeadType) && w.I32(second) && w.Finish();
}

bool ReadKeyCheckBlock(CKorvane& engine, CFile* package, std::vector<unsigned char>& check,
                       std::vector<unsigned char>& iv) {
    ProtectedReader block(engine, package);
    for (std::vector<unsigned char>* field : {&check, &iv}) {
        int32_t length = 0;
        if (!block.I32(length)) return false;
        if (length < 0 || static_cast<size_t>(length) > kKeyCheckCap) {
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
