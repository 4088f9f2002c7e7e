#pragma once
// The record I/O every layout's writer and reader works through: checked file operations, the
// CRC register of the head or record being written or read, and the field cipher. A layout
// needs nothing else of the engine, so each can be written, read, tested and fuzzed on its own.
// engine/CheckedRecordIo.h is the engine's; an engine object hands out its own (Records()).
//
// Contracts: a false result has shown its one message (the checked calls' texts, the field
// cipher's), and the caller adds none for the same failure. One CRC computation runs from
// CrcInit to CrcMatches or CrcFinal and is not interleaved with another on the same object.
// An object serves one thread at a time; the caller owns the files it passes.

#include <cstddef>
#include <cstdint>

class CFile;
class CFileException;

class RecordIo {
public:
    virtual ~RecordIo() = default;

    // Reads up to `count` bytes; *got (when given) receives the bytes read. With `exact`,
    // fewer than `count` is a failure (a short read of a file that was changed).
    virtual bool Read(CFile* file, void* buffer, size_t count, size_t* got, bool exact) = 0;
    virtual bool Write(CFile* file, const void* buffer, size_t count) = 0;
    // `origin`: CFile::begin, current or end. A failure shows the writing text.
    virtual bool Seek(CFile* file, int64_t offset, unsigned origin) = 0;
    // The checked reader's messages, for a failure met outside the calls above: bytes parsed
    // from a window already read that run short, a position query that fails.
    virtual void ShowShortRead() = 0;
    virtual void ShowReadError(const CFileException& error) = 0;

    virtual void CrcInit() = 0;
    virtual void CrcUpdate(const void* data, size_t length) = 0;
    // The value stored after the range: the complemented register, its bytes exchanged.
    virtual uint16_t CrcFinal() = 0;
    // Completes the CRC and compares it with the value read from the file.
    virtual bool CrcMatches(uint16_t stored) = 0;

    // The field cipher, in place and length-preserving; on failure the bytes stay as they were.
    virtual bool Seal(void* field, size_t length) = 0;
    virtual bool Unseal(void* field, size_t length) = 0;
};
