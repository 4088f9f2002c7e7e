// Sealed record fields and the end-of-head record in its final form. Writers of records seal
// each field on its own and run one CRC over the stored bytes of a record; readers mirror it,
// feeding the CRC before deciphering so that no plain value is used before its CRC is checked.

#include <cstring>

#include "engine/Korvane.h"
#include "formats/ByteCursor.h"
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
    int32_t type = kEndOfHeadType;
    if (package == nullptr) return 0;
    CRC_Init();
    if (!WriteSealedField(package, &type, sizeof type) || !WriteSealedField(package, &secondField, sizeof secondField))
        return 0;
    uint16_t crc = CRC_Final();
    return fWriteBuf(package, &crc, sizeof crc);
}

int CKorvane::ReadEndofHead(CFile* package, int32_t* secondField, const char* crcMessage) {
    unsigned char stored[kEndOfHeadSize];
    unsigned long got = 0;
    if (package == nullptr) return 0;
    if (!fReadBuf(package, stored, sizeof stored, &got, 1)) return 0;
    ByteCursor cursor(stored, sizeof stored);
    char type[4], second[4];
    cursor.copy(type, 4);
    cursor.copy(second, 4);
    uint16_t crc = cursor.u16le();
    CRC_Init();
    CRC_Update(stored, 8);
    if (!cursor.ok() || CRC_Final() != crc) {
        if (crcMessage) AfxMessageBox(crcMessage);
        return 0;
    }
    if (!SerialDecrypt(type, 4, type) || !SerialDecrypt(second, 4, second)) return 0;
    int32_t typeValue = 0;
    std::memcpy(&typeValue, type, 4);
    if ((typeValue & (kRecordBitDirectory | kRecordBitFile)) != 0 || (typeValue & kRecordBitEndOfHead) == 0) {
        AfxMessageBox("文件结构错.");
        return 0;
    }
    if (secondField) std::memcpy(secondField, second, 4);
    return 1;
}
