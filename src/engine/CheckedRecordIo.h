#pragma once
// The engine's record I/O: the checked file operations with the engine's messages, a CRC-16
// register, and the field cipher under the engine's fixed field key. It stands alone (no engine
// object), so a layout can be exercised with nothing but it; every engine object owns one and
// its checked calls, CRC and field cipher forward to it.

#include <cstddef>
#include <cstdint>

#include "formats/RecordIo.h"

// The field cipher's driver algorithm, mode and key. Fixed: files are readable only by engines
// with this key.
constexpr int kFieldCipherAlg = 2;
constexpr int kFieldCipherMode = 1;
extern const unsigned char kFieldKey[16];

class CheckedRecordIo final : public RecordIo {
public:
    bool Read(CFile* file, void* buffer, size_t count, size_t* got, bool exact) override;
    bool Write(CFile* file, const void* buffer, size_t count) override;
    bool Seek(CFile* file, int64_t offset, unsigned origin) override;
    void ShowShortRead() override;
    void ShowReadError(const CFileException& error) override;

    void CrcInit() override { m_crc = 0xFFFF; }
    void CrcUpdate(const void* data, size_t length) override;
    uint16_t CrcFinal() override;
    bool CrcMatches(uint16_t stored) override;

    bool Seal(void* field, size_t length) override;
    bool Unseal(void* field, size_t length) override;
    // The field cipher from `in` to `out` (the same buffer allowed). A negative length or a
    // driver failure shows its message and leaves the input in `out`.
    bool Encipher(const char* in, int length, char* out);
    bool Decipher(const char* in, int length, char* out);

private:
    uint16_t m_crc = 0;
};
