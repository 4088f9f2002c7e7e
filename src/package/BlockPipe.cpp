#include "package/BlockPipe.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "engine/Crc16.h"
#include "platform/CMemFile.h"

BlockRing::BlockRing() : m_bytes(std::make_unique_for_overwrite<unsigned char[]>(kRingBlocks * kRingBlockRoom)) {}

BlockRing::~BlockRing() {
    // Plaintext passed through the ring.
    for (size_t slot = 0; slot < kRingBlocks; ++slot) OPENSSL_cleanse(Slot(slot), m_touched[slot]);
}

void BlockRing::Touch(size_t slot, size_t length) {
    m_touched[slot] = std::max(m_touched[slot], std::min(kRingBlockRoom, length + (kRingBlockRoom - kStreamBlockSize)));
}

BlockPipe::BlockPipe(BlockRing& ring, CFile& source, uint64_t size, bool exact, CFile* sink, CrcOf crcOf)
    : m_ring(ring),
      m_source(source),
      m_memory(dynamic_cast<CMemFile*>(&source)),
      m_sink(sink),
      m_exact(exact),
      m_crcOf(crcOf),
      m_left(size),
      m_memoryPosition(m_memory ? m_memory->GetPosition() : 0) {
    // One block has nothing to overlap with; a memory source with no sink has no file work.
    if (size <= kStreamBlockSize || (m_memory != nullptr && m_sink == nullptr)) return;
    m_slots = kRingBlocks;
    try {
        m_thread = std::thread(&BlockPipe::Run, this);
        m_threaded = true;
    } catch (const std::system_error&) {
        m_slots = 1;  // the same work on this thread
    }
}

BlockPipe::~BlockPipe() { Stop(); }

void BlockPipe::Stop() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_ioWake.notify_one();
    m_thread.join();
}

unsigned long BlockPipe::Want() const {
    return static_cast<unsigned long>(m_exact ? std::min<uint64_t>(m_left, kStreamBlockSize) : kStreamBlockSize);
}

void BlockPipe::Fail(const CFileException& error, bool writing) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failed) return;
        m_failed = true;
        m_writeFailed = writing;
        m_error = error;
    }
    m_callerWake.notify_one();
}

void BlockPipe::ShowFailure() const {
    if (m_writeFailed)
        CKorvane::ShowWriteError(m_error);
    else
        CKorvane::ShowReadError(m_error);
}

bool BlockPipe::Next(PipeBlock& block) {
    if (m_memory != nullptr) return TakeFromMemory(block);
    if (!m_threaded) return ReadInline(block);
    std::unique_lock lock(m_mutex);
    m_callerWake.wait(lock, [this] { return m_failed || m_read > m_taken || m_readEnd; });
    if (m_failed) return false;
    if (m_read == m_taken) {
        block = PipeBlock{};
        return true;
    }
    const size_t slot = m_taken % m_slots;
    block = PipeBlock{Slot(m_taken), Slot(m_taken), m_lengths[slot], slot};
    ++m_taken;
    return true;
}

bool BlockPipe::ReadInline(PipeBlock& block) {
    if (m_failed) return false;
    if (m_readEnd) {
        block = PipeBlock{};
        return true;
    }
    const unsigned long want = Want();
    unsigned char* buffer = Slot(0);
    unsigned long got = 0;
    try {
        got = m_source.Read(buffer, static_cast<unsigned>(want));
    } catch (const CFileException& e) {
        m_ring.Touch(0, want);  // a failed read may have left part of the block
        Fail(e, false);
        return false;
    }
    m_ring.Touch(0, got);
    if (m_crcOf == CrcOf::kRead) m_crc = Crc16Update(m_crc, buffer, got);
    if (m_exact) m_left -= got;
    m_readEnd = got < want || (m_exact && m_left == 0);
    block = PipeBlock{buffer, buffer, got, 0};
    return true;
}

bool BlockPipe::TakeFromMemory(PipeBlock& block) {
    const uint64_t length = m_memory->GetLength();
    const uint64_t room = m_memoryPosition < length ? length - m_memoryPosition : 0;
    const auto got = static_cast<unsigned long>(std::min<uint64_t>(Want(), room));
    size_t slot = 0;
    if (m_threaded) {
        std::unique_lock lock(m_mutex);
        // The next output buffer must have been written out.
        m_callerWake.wait(lock, [this] { return m_failed || m_taken - m_written < m_slots; });
        if (m_failed) return false;
        slot = m_taken % m_slots;
        ++m_taken;
        ++m_read;
    } else if (m_failed) {
        return false;
    }
    m_ring.Touch(slot, got);
    block = PipeBlock{m_memory->Data() + m_memoryPosition, Slot(slot), got, slot};
    if (m_crcOf == CrcOf::kRead) m_crc = Crc16Update(m_crc, block.in, got);
    m_memoryPosition += got;
    if (m_exact) m_left -= got;
    m_memory->Seek(static_cast<int64_t>(m_memoryPosition), CFile::begin);
    return true;
}

bool BlockPipe::Put(const PipeBlock& block, const unsigned char* bytes, unsigned long length) {
    if (block.out == nullptr) return !m_failed;
    if (!m_threaded) {
        if (m_failed) return false;
        if (m_crcOf == CrcOf::kPut) m_crc = Crc16Update(m_crc, bytes, length);
        if (m_sink == nullptr || length == 0) return true;
        try {
            m_sink->Write(bytes, static_cast<unsigned>(length));
        } catch (const CFileException& e) {
            Fail(e, true);
            return false;
        }
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_failed) return false;
        m_outBytes[block.slot] = bytes;
        m_outLengths[block.slot] = length;
        ++m_put;
    }
    m_ioWake.notify_one();
    return true;
}

bool BlockPipe::Finish() {
    if (m_threaded) {
        std::unique_lock lock(m_mutex);
        m_callerWake.wait(lock, [this] { return m_failed || m_written == m_put; });
    }
    Stop();
    return !m_failed;
}

// The I/O thread. Writes come first, so buffers return to the ring, unless the caller waits
// for its next block.
void BlockPipe::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stop || m_failed) return;
        const bool canRead = m_memory == nullptr && !m_readEnd && m_read - m_written < m_slots;
        const bool canWrite = m_put > m_written;
        if (!canRead && !canWrite) {
            m_ioWake.wait(lock);
            continue;
        }
        if (canRead && (!canWrite || m_read == m_taken)) {
            const uint64_t sequence = m_read;
            const unsigned long want = Want();
            lock.unlock();
            unsigned long got = 0;
            try {
                got = m_source.Read(Slot(sequence), static_cast<unsigned>(want));
            } catch (const CFileException& e) {
                m_ring.Touch(sequence % m_slots, want);  // a failed read may have left part of it
                Fail(e, false);
                return;
            } catch (...) {
                m_ring.Touch(sequence % m_slots, want);
                Fail(CFileException::FromErrno(EIO, m_source.GetFilePath()), false);
                return;
            }
            if (m_crcOf == CrcOf::kRead) m_crc = Crc16Update(m_crc, Slot(sequence), got);
            lock.lock();
            m_ring.Touch(sequence % m_slots, got);
            m_lengths[sequence % m_slots] = got;
            if (m_exact) m_left -= got;
            m_readEnd = got < want || (m_exact && m_left == 0);
            ++m_read;
        } else {
            const uint64_t sequence = m_written;
            const unsigned char* bytes = m_outBytes[sequence % m_slots];
            const unsigned long length = m_outLengths[sequence % m_slots];
            lock.unlock();
            if (m_crcOf == CrcOf::kPut) m_crc = Crc16Update(m_crc, bytes, length);
            try {
                if (length > 0 && m_sink != nullptr) m_sink->Write(bytes, static_cast<unsigned>(length));
            } catch (const CFileException& e) {
                Fail(e, true);
                return;
            } catch (...) {
                Fail(CFileException::FromErrno(EIO, m_sink->GetFilePath()), true);
                return;
            }
            lock.lock();
            ++m_written;
        }
        m_callerWake.notify_one();
    }
}
