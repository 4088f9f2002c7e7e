#include "engine/Crc16.h"

#include <array>

#include "drivers/Crc1B.h"
#include "engine/CheckedRecordIo.h"
#include "engine/Korvane.h"

namespace {

// kTables[k][b]: the register contribution of byte b followed by k zero bytes, from a zero
// register. Derived from CRC1B itself so both always agree.
using Tables = std::array<std::array<uint16_t, 256>, 8>;

Tables MakeTables() {
    Tables t{};
    for (int b = 0; b < 256; ++b) t[0][b] = CRC1B(0, static_cast<unsigned char>(b));
    for (int k = 1; k < 8; ++k)
        for (int b = 0; b < 256; ++b) t[k][b] = static_cast<uint16_t>((t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 8]);
    return t;
}

const Tables kTables = MakeTables();

}  // namespace

uint16_t Crc16Update(uint16_t reg, const unsigned char* p, size_t length) {
    const auto& t = kTables;
    while (length >= 8) {
        reg = static_cast<uint16_t>(t[7][p[0] ^ (reg >> 8)] ^ t[6][p[1] ^ (reg & 0xFF)] ^ t[5][p[2]] ^ t[4][p[3]] ^
                                    t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
        p += 8;
        length -= 8;
    }
    while (length--) reg = static_cast<uint16_t>((reg << 8) ^ t[0][(reg >> 8) ^ *p++]);
    return reg;
}

uint16_t Crc16Final(uint16_t reg) {
    uint16_t v = static_cast<uint16_t>(~reg);
    return static_cast<uint16_t>((v >> 8) | ((v & 0xFF) << 8));
}

void CheckedRecordIo::CrcUpdate(const void* data, size_t length) {
    if (data != nullptr && length > 0) m_crc = Crc16Update(m_crc, static_cast<const unsigned char*>(data), length);
}

uint16_t CheckedRecordIo::CrcFinal() {
    m_crc = Crc16Final(m_crc);
    return m_crc;
}

bool CheckedRecordIo::CrcMatches(uint16_t stored) { return StoredCrcMatches(stored, CrcFinal()); }

void CKorvane::CRC_Init() { m_records.CrcInit(); }

void CKorvane::CRC_Update(const unsigned char* data, int length) {
    if (length > 0) m_records.CrcUpdate(data, static_cast<size_t>(length));
}

uint16_t CKorvane::CRC_Final() { return m_records.CrcFinal(); }
