// Sealed record fields and the end-of-head record in its final form. Writers of records seal
// each field on its own and run one CRC over the stored bytes of a record; readers mirror it,
// feeding the CRC before deciphering so that no plain value is used before its CRC is checked.

#include <cstring>

#include "engine/Korvane.h"
#include "formats/Messages.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/MessageBox.h"

int CKorvane::WriteSealedField(CFile* file, void* field, unsigned long length) {
    if (file == nullptr || field == nullptr) return 0;
    auto* bytes = static_cast<char*>(field);
    if (!SerialEncrypt(bytes, static_cast<int>(length), bytes)) return 0;
    CRC_Update(reinterpret_cast<const unsigned char*>(bytes), static_cast<int>(length));
    return fWriteBuf(file, bytes, length);
}

int CKorvane::ReadSealedField(CFile* file, void* field, unsigned long length) {
    if (file == nullptr || field == nullptr) return 0;
    unsigned long got = 0;
    auto* bytes = static_cast<char*>(field);
    if (!fReadBuf(file, bytes, length, &got, 1)) return 0;
    CRC_Update(reinterpret_cast<const unsigned char*>(bytes), static_cast<int>(length));
    return SerialDecrypt(bytes, static_cast<int>(length), bytes);
}

int CKorvane::WriteEndofHead(CFile* package, int32_t secondField) {
    if (package == nullptr) return 0;
    return SealEndRecord(*this, package, secondField) ? 1 : 0;
}

int CKorvane::ReadEndofHead(CFile* package, int32_t* secondField, const char* crcMessage) {
    if (package == nullptr) return 0;
    const MessageDef shown = crcMessage ? FindMessage(msg::formats::kTable, crcMessage) : MessageDef{};
    return PackageRecordReader(*this, package, false).ReadEnd(secondField, crcMessage ? &shown : nullptr) ? 1 : 0;
}
