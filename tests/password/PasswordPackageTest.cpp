#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "PasswordPackageFixture.h"
#include "formats/PackageRecords.h"
#include "package/ContentStream.h"

namespace fs = std::filesystem;

namespace {

void SetModified(const std::string& path, time_t when) {
    struct utimbuf times {
        when, when
    };
    ::utime(path.c_str(), &times);
}

}  // namespace

TEST_F(PasswordPackageTest, TreeRoundTripsByteForByteWithTimesReadOnlyBitAndCaseOfNames) {
    fs::create_directories(dir / "src/tree/empty");
    fs::create_directories(dir / "src/tree/sub/deeper");
    fs::create_directories(dir / "src/tree/dirinfo");
    WriteFile(dir / "src/tree/dirinfo/x", "never packed");
    WriteFile(dir / "src/tree/sub/dirinfo", "never packed");
    WriteFile(dir / "src/tree/zero", "");
    std::string big = RandomBytes(307200 * 2 + 17, 3);
    WriteFile(dir / "src/tree/sub/big.bin", big);
    WriteFile(dir / "src/tree/sub/deeper/a.txt", "alpha");
    WriteFile(dir / "src/tree/ro.txt", "read only");
    SetModified(dir / "src/tree/sub/big.bin", 1041757623);  // 2003-01-05, a fixed past time
    ::chmod((dir / "src/tree/ro.txt").c_str(), 0444);
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
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"文件结构错."});
        EXPECT_TRUE(fs::is_empty(longOut));

        host.Clear();
        std::string deeper = deep + "/" + std::string(120, 'e');
        fs::create_directories(dir / deeper);
        WriteFile(dir / deeper + "/g.txt", "deeper");
        EXPECT_EQ(Pack({deep}, "q.pkg"), 0);
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"搜索文件出错\n" + dir / deeper + "/"})
            << "names the path";
    }
