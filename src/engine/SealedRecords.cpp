// The engine's entries for sealed record fields and the end record in its final form, over
// its record I/O. Writers of records seal each field on its own and run one CRC over the
// stored bytes of a record; readers mirror it, feeding the CRC before deciphering so that no
// plain value is used before its CRC is checked.

#include <cstring>

#include "engine/Korvane.h"
#include "formats/Messages.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"

int CKorvane::WriteSealedField(CFile* file, void* field, unsigned long length) try {
    EngineCall call(m_context);
    if (file == nullptr || field == nullptr) return 0;
    if (!m_records.Seal(field, length)) return 0;
    m_records.CrcUpdate(field, length);
    return m_records.Write(file, field, length) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::ReadSealedField(CFile* file, void* field, unsigned long length) try {
    EngineCall call(m_context);
    if (file == nullptr || field == nullptr) return 0;
    if (!m_records.Read(file, field, length, nullptr, true)) return 0;
    m_records.CrcUpdate(field, length);
    return m_records.Unseal(field, length) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::WriteEndofHead(CFile* package, int32_t secondField) try {
    EngineCall call(m_context);
    if (package == nullptr) return 0;
    return SealEndRecord(m_records, package, secondField) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::ReadEndofHead(CFile* package, int32_t* secondField, const char* crcMessage) try {
    EngineCall call(m_context);
    if (package == nullptr) return 0;
    const MessageDef shown = crcMessage ? FindMessage(msg::formats::kTable, crcMessage) : MessageDef{};
    return PackageRecordReader(m_records, package, false).ReadEnd(secondField, crcMessage ? &shown : nullptr) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}
