#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "TestSupport.h"
#include "engine/Crc16.h"
#include "engine/EngineBytes.h"
#include "package/BlockPipe.h"
#include "package/ContentStream.h"
#include "package/DigestThread.h"
#include "package/KeyStream.h"
#include "platform/CMemFile.h"

namespace {

// What the engine's cipher frame makes of `in` in one update: the bytes a shared key stream
// must reproduce exactly, so packages stay readable by every reader, old or new.
Bytes ThroughFrame(int id, const Bytes& key, const Bytes& iv, const Bytes& in) {
    CKorvane engine;
    return RunFrame(engine, true, id, key, iv, in, {in.size()});
}

Bytes ThroughStream(KeyStream& stream, const ContentKey& key, const Bytes& in, uint64_t announced,
                    const std::vector<size_t>& pieces) {
    EXPECT_TRUE(stream.Start(key, announced));
    Bytes out(in.size());
    size_t at = 0;
    for (size_t piece : pieces) {
        EXPECT_TRUE(stream.Apply(out.data() + at, in.data() + at, piece));
        at += piece;
    }
    return out;
}

}  // namespace

// Files of one package, one after another, in odd pieces and across a key change: each is
// enciphered exactly as the cipher frame enciphers it from the key's start.
TEST(KeyStream, EveryFileAgreesByteForByteWithTheCipherFrame) {
    for (int id : {45, 46, 62}) {
        SCOPED_TRACE(id);
        const Bytes key = Data(128, 7), iv = Data(1000, 8), other = Data(128, 9);
        ContentKey first(key.data(), key.size(), iv.data(), iv.size(), id);
        ContentKey second(other.data(), other.size(), iv.data(), iv.size(), id);
        KeyStream stream;
        const Bytes small = Data(4099, 1), tree = Data(3u << 20, 2);
        EXPECT_EQ(ThroughStream(stream, first, small, small.size(), {1, 4000, 98}), ThroughFrame(id, key, iv, small));
        EXPECT_EQ(ThroughStream(stream, first, tree, tree.size(), {307200, 7, tree.size() - 307207}),
                  ThroughFrame(id, key, iv, tree));
        EXPECT_EQ(ThroughStream(stream, second, small, small.size(), {small.size()}),
                  ThroughFrame(id, other, iv, small));
        EXPECT_EQ(ThroughStream(stream, first, small, small.size(), {small.size()}), ThroughFrame(id, key, iv, small));
    }
}

// A file that grows past what is kept while it is read goes on from a cipher of its own at the
// right place; files that start larger, and cards, are left to the engine's cipher.
TEST(KeyStream, GrowingFilesGoOnAndLargeFilesAndCardsAreNotServed) {
    const Bytes key = Data(16, 3), iv = Data(8, 4);
    ContentKey idea(key.data(), key.size(), iv.data(), iv.size(), 46);
    const Bytes grown = Data(kKeyStreamKept + 5000, 5);
    KeyStream stream;
    EXPECT_EQ(ThroughStream(stream, idea, grown, 10, {kKeyStreamKept - 3, 4, 4999}), ThroughFrame(46, key, iv, grown));
    EXPECT_FALSE(stream.Start(idea, kKeyStreamKept + 1));
    ContentKey card(key.data(), key.size(), iv.data(), iv.size(), 120);
    EXPECT_FALSE(stream.Start(card, 10));
}

// The digest sees every byte once and in order, whatever the pieces: many small ones gathered
// into one buffer, pieces split across both, a Wait midway, and a pass too small to start the
// thread. The caller scribbles over each piece as soon as it is fed, as the block ring reuses
// its buffers for the next file while the digest still runs.
TEST(DigestThread, DigestsEveryPieceInOrderFromItsOwnCopy) {
    const Bytes data = Data(3u << 20, 6);
    const std::vector<std::vector<size_t>> passes = {
        {100, 307200, 700000, 5, 16384, 307200},
        std::vector<size_t>(2000, 1500),  // a tree of small files
        {40, 3000},                       // never fills a buffer
    };
    for (const std::vector<size_t>& pieces : passes) {
        Bytes seen;
        {
            DigestThread thread([&](const unsigned char* p, size_t n) { seen.insert(seen.end(), p, p + n); });
            size_t at = 0;
            for (size_t piece : pieces) {
                Bytes scratch(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + piece));
                thread.Feed(scratch.data(), piece);
                std::fill(scratch.begin(), scratch.end(), 0xEE);
                at += piece;
                if (at > 1000000 && at - piece <= 1000000) {
                    thread.Wait();
                    EXPECT_EQ(seen, Bytes(data.begin(), data.begin() + static_cast<long>(at)));
                }
            }
            thread.Wait();
            EXPECT_EQ(seen, Bytes(data.begin(), data.begin() + static_cast<long>(at))) << pieces.size();
            thread.Feed(data.data() + at, 4000);  // left to the end of the thread's life
        }
        const size_t total = std::accumulate(pieces.begin(), pieces.end(), size_t{4000});
        EXPECT_EQ(seen, Bytes(data.begin(), data.begin() + static_cast<long>(total))) << pieces.size();
    }
}

// The pipe keeps the CRC of what is read before the caller may change it in place, and of what
// is put as it goes to the sink, whether the blocks go through its thread, run inline (one
// block) or come from memory. The caller here overwrites every block in place, as a cipher does.
TEST(BlockPipe, KeepsTheCrcOfWhatIsReadOrPutOnEveryPath) {
    TempDir dir;
    for (size_t size : {size_t{0}, size_t{1000}, kStreamBlockSize, kStreamBlockSize * 3 + 17}) {
        for (bool memory : {false, true}) {
            SCOPED_TRACE(testing::Message() << size << (memory ? " memory" : " file"));
            const Bytes in = Data(size, 11);
            WriteFile(dir / "in", std::string(in.begin(), in.end()));
            CFile file(dir / "in", CFile::modeRead);
            CMemFile held;
            if (memory) {
                held.Write(in.data(), static_cast<unsigned>(in.size()));
                held.SeekToBegin();
            }
            CFile& source = memory ? static_cast<CFile&>(held) : file;
            CFile sink(dir / "out", CFile::modeCreate | CFile::modeReadWrite);
            BlockRing ring;
            for (BlockPipe::CrcOf side : {BlockPipe::CrcOf::kRead, BlockPipe::CrcOf::kPut}) {
                source.SeekToBegin();
                sink.SetLength(0);
                sink.SeekToBegin();
                BlockPipe pipe(ring, source, size, true, &sink, side);
                Bytes put;
                for (PipeBlock block; pipe.Next(block) && block.length > 0;) {
                    for (unsigned long i = 0; i < block.length; ++i) block.out[i] = block.in[i] ^ 0x5A;
                    put.insert(put.end(), block.out, block.out + block.length);
                    ASSERT_TRUE(pipe.Put(block, block.out, block.length));
                }
                ASSERT_TRUE(pipe.Finish());
                const Bytes& expected = side == BlockPipe::CrcOf::kRead ? in : put;
                EXPECT_EQ(pipe.CrcRegister(), Crc16Update(0xFFFF, expected.data(), expected.size()));
                EXPECT_EQ(ReadFile(dir / "out"), std::string(put.begin(), put.end()));
            }
        }
    }
}
