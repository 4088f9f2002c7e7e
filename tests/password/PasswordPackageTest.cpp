#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "PasswordPackageFixture.h"
#include "formats/PackageRecords.h"
#include "package/ContentStream.h"

namespace fs = std::filesystem;

TEST_F(PasswordPackageTest, EveryBulkCipherRoundTrips) {
    fs::create_directories(dir / "src");
    std::string content = RandomBytes(307200 + 9, 5);
    WriteFile(dir / "src/f.bin", content);
    for (int cipher : {45, 46, 62}) {
        std::string name = "c" + std::to_string(cipher) + ".pkg";
        ASSERT_EQ(Pack({"src/f.bin"}, name, "secret1", cipher), 1) << cipher;
        CKorvane e;
        fs::remove_all(dir / "out");
        ASSERT_EQ(RestoreWith(e, name, "secret1"), 1) << cipher;
        EXPECT_EQ(ReadFile(dir / "out/f.bin"), content) << cipher;
    }
    // A card cipher without its driver is said once, by the card, and leaves no package.
    host.Clear();
    EXPECT_EQ(Pack({"src/f.bin"}, "card.pkg", "secret1", 120), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.PciLibraryMissing"});
    EXPECT_FALSE(fs::exists(dir / "card.pkg"));
}

// Exactly what the format cannot hold is refused: a start beyond 1,500,000,000, a start the
// 32-bit offset field cannot hold, a file of 2^31 bytes or more. A large file that starts
// early is fine even when its content ends beyond 2^31 - 1 bytes of package.
TEST(PackageSizeRule, RefusesExactlyWhatCannotBeStored) {
    EXPECT_TRUE(ContentFits(1500000000, 0));
    EXPECT_FALSE(ContentFits(1500000001, 0));
    EXPECT_TRUE(ContentFits(1499999999, (uint64_t{1} << 31) - 1));
    EXPECT_FALSE(ContentFits(0, uint64_t{1} << 31));
    EXPECT_FALSE(ContentFits(-1, 0));
}

// A sparse file of 2^31 bytes or more fails the pack before its content is written; the
// failed pack leaves no package (and no temporary file) behind and keeps the file it was to
// replace.
TEST_F(PasswordPackageTest, FilesBeyondThe32BitFormatAreRefusedBeforeWriting) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "p.pkg", "older package");
    for (uint64_t size : {uint64_t{1} << 32, uint64_t{1} << 31}) {
        {
            CFile sparse(dir / "src/huge", CFile::modeCreate | CFile::modeWrite);
            sparse.SetLength(size);
        }
        host.Clear();
        EXPECT_EQ(Pack({"src/huge"}), 0) << size;
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_EQ(host.Messages()[0].text, "加密文件包太大(已超过1.5GB)，Ferrow停止加密。");
        EXPECT_EQ(ReadFile(dir / "p.pkg"), "older package");
    }
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
}

namespace {

// A source whose disk fails after its first blocks.
class FailingSource : public CFile {
public:
    unsigned Read(void* buffer, unsigned count) override {
        if (m_given >= 2 * kStreamBlockSize) throw CFileException::FromErrno(EIO, "failing");
        std::memset(buffer, 7, count);
        m_given += count;
        return count;
    }
    uint64_t GetLength() const override { return 8 * kStreamBlockSize; }

private:
    size_t m_given = 0;
};

// Files of this process may not grow beyond `bytes` while it lives (a full disk).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_signal(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_signal);
    }

private:
    rlimit m_old{};
    void (*m_signal)(int);
};

}  // namespace

// A read or write error in the middle of a large file stops the pack or restore with one
// message, and leaves neither a package nor a restored file nor a temporary file.
TEST_F(PasswordPackageTest, FileErrorInTheMiddleOfALargeFileShowsOneMessageAndLeavesNothing) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/big.bin", RandomBytes(8 * kStreamBlockSize, 4));
    {
        FileSizeLimit full(3 * kStreamBlockSize);
        EXPECT_EQ(Pack({"src/big.bin"}), 0);
    }
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"写文件出错.\n\nFile too large"});
    EXPECT_FALSE(fs::exists(dir / "p.pkg"));

    ASSERT_EQ(Pack({"src/big.bin"}), 1);
    host.Clear();
    {
        FileSizeLimit full(3 * kStreamBlockSize);
        EXPECT_EQ(RestoreWith(engine, "p.pkg", "secret1"), 0);
    }
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"写文件出错.\n\nFile too large"});
    EXPECT_FALSE(fs::exists(dir / "out/big.bin"));
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());

    host.Clear();
    FailingSource source;
    CFile package(dir / "raw", CFile::modeCreate | CFile::modeReadWrite);
    ContentKey key;
    key.cipherId = 46;
    ContentPlace place;
    ContentStream stream(engine, ContentStream::Digest::kNone);
    EXPECT_EQ(stream.Encrypt(key, source, &package, &place), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"读文件出错.\n\nInput/output error"});
}

// Paths are kept in 260-byte buffers: a tree or an output folder that would need longer
// paths is refused with a message, never cut short into another path.
TEST_F(PasswordPackageTest, PathsTooLongForTheWalkersAreRefusedNotCut) {
    std::string deep = "src/" + std::string(180, 'd');
    fs::create_directories(dir / deep);
    WriteFile(dir / deep + "/f.txt", "deep");
    ASSERT_EQ(Pack({deep}), 1);
    std::string longOut = dir / ("out/" + std::string(100, 'o'));
    fs::create_directories(longOut);
    engine.m_presetOutFolder = longOut;
    host.AddAnswer("password", "secret1");
    EXPECT_EQ(engine.SymmtryDecryptFiles((dir / "p.pkg").c_str(), nullptr, 0, 0), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"formats.StructureError"});
    EXPECT_TRUE(fs::is_empty(longOut));

    host.Clear();
    std::string deeper = deep + "/" + std::string(120, 'e');
    fs::create_directories(dir / deeper);
    WriteFile(dir / deeper + "/g.txt", "deeper");
    EXPECT_EQ(Pack({deep}, "q.pkg"), 0);
    EXPECT_EQ(host.MessageTexts(),
              std::vector<std::string>{"搜索文件出错\n" + dir / deeper + "/\n" + std::strerror(ENAMETOOLONG)})
        << "names the path and why";
}
