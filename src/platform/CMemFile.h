#pragma once
// A file held in memory that grows in steps of `growBytes`; reads, writes and seeks behave as
// on a disk file. Used for in-memory lists that the engine hands to dialogs.

#include <vector>

#include "platform/CFile.h"

class CMemFile : public CFile {
public:
    explicit CMemFile(unsigned growBytes = 1024) : m_grow(growBytes ? growBytes : 1024) {}

    bool Open(const std::string&, unsigned, CFileException* = nullptr) override { return true; }
    unsigned Read(void* buffer, unsigned count) override;
    void Write(const void* buffer, unsigned count) override;
    uint64_t Seek(int64_t offset, unsigned from) override;
    uint64_t GetLength() const override { return m_size; }
    void SetLength(uint64_t length) override;
    uint64_t GetPosition() const override { return m_pos; }
    void Flush() override {}
    void Close() override;
    void Abort() override { Close(); }
    bool IsOpen() const override { return true; }

    // Takes over `bytes` as the whole file, positioned at its start, without copying them.
    void Attach(std::vector<unsigned char> bytes);

    // Bytes held, valid until the next write.
    const unsigned char* Data() const { return m_data.data(); }
    // Capacity in use; grows in whole steps of the growth size.
    size_t Capacity() const { return m_data.size(); }

private:
    void Reserve(uint64_t size);

    std::vector<unsigned char> m_data;
    uint64_t m_size = 0;
    uint64_t m_pos = 0;
    unsigned m_grow;
};
