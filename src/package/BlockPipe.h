#pragma once
// The file side of a content loop: a source read ahead and a sink written behind by one I/O
// thread through a small fixed ring of block buffers, while the caller's thread works through
// the blocks in order (cipher, CRC, digest, messages, progress). The thread only reads and
// writes; its first file error stops both sides and is handed back for the caller to show, once,
// in the checked I/O's words. A failure or stop on the caller's side stops the thread between
// two blocks; no thread outlives its pipe.
//
// A source held in memory (CMemFile) is read in place, never copied. A content of one block, or
// a pipe whose thread cannot be started, runs on the caller's thread alone with the same results.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/Korvane.h"  // kStreamBlockSize

class CMemFile;

// Room of one ring buffer: a block and the bytes a card may release beyond it.
constexpr size_t kRingBlockRoom = kStreamBlockSize + 64;
// Buffers in a ring: one being enciphered, one being written, two read ahead.
constexpr size_t kRingBlocks = 4;

// The buffers of a ring, and how much of each has held bytes: only that is wiped when the ring
// goes, so a pass over small files neither wipes nor first touches the buffers it never used.
class BlockRing {
public:
    BlockRing();
    ~BlockRing();
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    unsigned char* Slot(size_t slot) { return m_bytes.get() + slot * kRingBlockRoom; }
    // Slot may now hold up to `length` bytes, and what a card may release beyond them. Called
    // by one thread at a time; the ring is wiped only after every pipe over it has ended.
    void Touch(size_t slot, size_t length);

private:
    std::unique_ptr<unsigned char[]> m_bytes;
    size_t m_touched[kRingBlocks] = {};
};

struct PipeBlock {
    const unsigned char* in = nullptr;  // the bytes read: in the ring, or in place in memory
    unsigned char* out = nullptr;       // kRingBlockRoom bytes for the output; may be `in` itself
    unsigned long length = 0;           // bytes read; short only at the source's end
    size_t slot = 0;
};

class BlockPipe {
public:
    // Which bytes the pipe keeps the engine's CRC of, in order, on the side that handles them:
    // those read (as they come from the source) or those put (as they go to the sink).
    enum class CrcOf { kNone, kRead, kPut };

    // Reads `source` from its position in blocks: `size` bytes when `exact`, else until a block
    // comes back short (a file may grow while it is read; `size` is then only a hint). What the
    // caller puts goes to `sink` at its position (null: nothing is written). `ring` outlives
    // the pipe. Neither file may be touched by anyone else until Finish or the pipe's end.
    BlockPipe(BlockRing& ring, CFile& source, uint64_t size, bool exact, CFile* sink, CrcOf crcOf = CrcOf::kNone);
    ~BlockPipe();
    BlockPipe(const BlockPipe&) = delete;
    BlockPipe& operator=(const BlockPipe&) = delete;

    // The next block in order; false after a file error on either side. At the end of an
    // exact source, an empty block.
    bool Next(PipeBlock& block);
    // Hands bytes[0, length) to the sink and the block's buffer back to the ring; bytes is the
    // block's out or in, and stays untouched until written. False when a file error is known.
    bool Put(const PipeBlock& block, const unsigned char* bytes, unsigned long length);
    // Waits until everything put is written and ends the thread; false after a file error.
    // The files are the caller's again afterwards.
    bool Finish();
    // Shows the first file error as the checked reader or writer would have.
    void ShowFailure() const;
    // The CRC register over the bytes chosen at construction, from 0xFFFF; complete once Finish
    // has returned true.
    uint16_t CrcRegister() const { return m_crc; }

private:
    unsigned long Want() const;
    unsigned char* Slot(uint64_t sequence) { return m_ring.Slot(sequence % m_slots); }
    bool ReadInline(PipeBlock& block);
    bool TakeFromMemory(PipeBlock& block);
    void Run();
    void Fail(const CFileException& error, bool writing);
    void Stop();

    BlockRing& m_ring;
    CFile& m_source;
    CMemFile* m_memory;  // the source when it is held in memory
    CFile* m_sink;
    bool m_exact;
    CrcOf m_crcOf;
    uint16_t m_crc = 0xFFFF;    // the I/O thread's while it runs
    uint64_t m_left;            // bytes an exact source still has to give
    uint64_t m_memoryPosition;  // where the next block of a memory source starts
    size_t m_slots = 1;
    bool m_threaded = false;

    // Shared with the I/O thread under m_mutex. Blocks are numbered in order; block n uses
    // buffer n % m_slots, which is free again once block n - m_slots is written.
    std::mutex m_mutex;
    std::condition_variable m_ioWake;      // work for the I/O thread, or its stop
    std::condition_variable m_callerWake;  // a block read, a block written, or a failure
    uint64_t m_read = 0;                   // blocks read (by the thread, or in place)
    uint64_t m_taken = 0;                  // blocks handed to the caller
    uint64_t m_put = 0;                    // blocks the caller gave back
    uint64_t m_written = 0;                // blocks written (or passed over when empty)
    unsigned long m_lengths[kRingBlocks] = {};
    const unsigned char* m_outBytes[kRingBlocks] = {};
    unsigned long m_outLengths[kRingBlocks] = {};
    bool m_readEnd = false;
    bool m_stop = false;
    bool m_failed = false;
    bool m_writeFailed = false;
    CFileException m_error;
    std::thread m_thread;
};
