#pragma once
// Packages as engines of format version "10" wrote them, which the program still restores:
// the pieces every kind shares, written with the layout's own field writer.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/ProtectedFields.h"

// The head of a version-"10" package of `kind`: cipher 46, one item, `recipients` recipients.
inline void WriteOldHead(CKorvane& e, CFile& f, EncryptFlag& head, uint8_t kind, int32_t recipients = 0) {
    e.InitEncryptFlag(&head, kind);
    std::memcpy(head.version, "10", 2);
    head.cipherId = 46;
    head.count = recipients;
    head.itemCount = 1;
    ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);
}

// Behind the head and the key records: the record list of one file `name` (a folder record, a
// file record with one time, 2003-01-05 09:07:03 local, the end record naming the trailer's
// offset when `trailer`), then `content` under cipher 46 with `key` and `iv`.
inline void WriteOldRecords(CKorvane& e, CFile& f, const std::string& name, const std::string& content,
                            const unsigned char* key, const unsigned char* iv, bool trailer) {
    std::string cipher(content.size(), '\0');
    int produced = 0;
    ASSERT_EQ(e.Evp_EncryptInit(key, iv, 46), 1);
    e.Evp_EncryptUpdate(reinterpret_cast<unsigned char*>(cipher.data()), &produced,
                        reinterpret_cast<const unsigned char*>(content.data()), static_cast<int>(content.size()));
    unsigned char tail[16];
    e.Evp_EncryptFinalEx(tail, &produced);
    const uint16_t crc =
        Crc16Final(Crc16Update(0xFFFF, reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size()));
    const int32_t size = static_cast<int32_t>(cipher.size()), length = static_cast<int32_t>(name.size());
    const int32_t offset =
        static_cast<int32_t>(f.GetPosition()) + (3 * 4 + 2) + (4 * 4 + length + 14 + 4 + 1 + 2 + 2) + 10;
    ProtectedWriter folder(e.Records(), &f);
    ASSERT_TRUE(folder.I32(10) && folder.I32(0) && folder.I32(0) && folder.Finish());
    ProtectedWriter record(e.Records(), &f);
    ASSERT_TRUE(record.I32(9) && record.I32(offset) && record.I32(length) && record.Field(name.data(), name.size()) &&
                record.I32(size) && record.Field("20030105090703", 14) && record.I32(size) && record.U8(0x20) &&
                record.U16(crc) && record.Finish());
    ASSERT_EQ(e.WriteEndofHead(&f, trailer ? offset + size : 0), 1);
    ASSERT_EQ(static_cast<int32_t>(f.GetPosition()), offset);
    f.Write(cipher.data(), static_cast<unsigned>(cipher.size()));
}
