// Every writer killed with SIGKILL at many points of its work: the files it reads are intact,
// no half-written file stands under a final name, what it left behind has the temporary shape
// (".NAME.varnex-XXXXXX"), and the next run succeeds beside it.

#include <signal.h>

#include <filesystem>
#include <map>

#include "KillPoints.h"
#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPoints = 12;

class CrashSafety : public ::testing::Test {
protected:
    CrashSafety() {
        fs::create_directories(dir / "data/docs/sub");
        WriteFile(dir / "data/big.bin", RandomBytes(2 << 20, 1));
        WriteFile(dir / "data/docs/a.txt", "alpha");
        for (int i = 0; i < 8; ++i) WriteFile(dir / ("data/docs/sub/f" + std::to_string(i)), RandomBytes(9000, 10 + i));
        originals = Snapshot(dir / "data");
        WriteFile(dir / "pw", "secret12\n");
    }

    // Registers alice and bob in the suite folder (envelope, signing and mail need them).
    void AddUsers() {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home));
        for (const char* id : {"alice", "bob"})
            ASSERT_NE(store.AddUser(id, id, std::string(id) + "@example.org", "pw-" + std::string(id)), 0);
    }

    // The content of every file below `folder` by its path relative to it, temporaries aside.
    static std::map<std::string, std::string> Snapshot(const std::string& folder) {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file() && !IsTempName(e.path().filename().string()))
                out[fs::relative(e.path(), folder).string()] = ReadFile(e.path().string());
        return out;
    }

    // The rules every kill point keeps: the sources are as they were, and whatever was left
    // below `folder` under a temporary name has the temporary shape.
    void ExpectSourcesIntactAndTemporariesNamed(const std::string& folder) {
        EXPECT_EQ(Snapshot(dir / "data"), originals) << "the sources changed";
        for (const std::string& t : TempFilesBelow(folder))
            EXPECT_TRUE(IsTempName(fs::path(t).filename().string())) << "unclear leftover " << t;
    }

    void RemoveTemporaries(const std::string& folder) {
        for (const std::string& t : TempFilesBelow(folder)) fs::remove(t);
    }

    TempDir dir;
    std::string home = dir / "suite";
    std::map<std::string, std::string> originals;
};

}  // namespace

// A package killed while written is absent or whole; the next pack beside the leftovers works.
TEST_F(CrashSafety, KilledPackLeavesNoPackageOrAWholeOne) {
    const std::string package = dir / "d.pkg";
    KillAtPoints(
        {"pack", kPoints},
        [&] {
            fs::remove(package);
            RemoveTemporaries(dir.Path());
        },
        [&] { return StartVarnex(home, {"--new-password-file", dir / "pw", "pack", "-o", package, dir / "data"}); },
        [&](const KillPoint&) {
            ExpectSourcesIntactAndTemporariesNamed(dir.Path());
            if (fs::exists(package)) {
                auto tested = RunVarnex(dir, home, "--package-password-file " + dir / "pw" + " decrypt --test " + package);
                EXPECT_EQ(tested.exit, 0) << "a package under its final name is whole: " << tested.err;
            }
        });
    fs::remove(package);
    auto again = RunVarnex(dir, home, "--new-password-file " + dir / "pw" + " pack -o " + package + " " + dir / "data");
    EXPECT_EQ(again.exit, 0) << again.err;
}

// A restore over older files killed anywhere: every file is its old or its new content, never
// a mixture, and the package is wiped only once everything is in place.
TEST_F(CrashSafety, KilledRestoreOverExistingFilesLeavesOldOrNewFilesAndThePackage) {
    ASSERT_EQ(RunVarnex(dir, home, "--new-password-file " + dir / "pw" + " pack -o " + dir / "d.pkg " + dir / "data")
                  .exit,
              0);
    const std::string package = dir / "r.pkg", out = dir / "out";
    const std::string packed = ReadFile(dir / "d.pkg");
    std::map<std::string, std::string> old;
    for (const auto& [path, content] : originals) old["data/" + path] = "old " + path;
    KillAtPoints(
        {"restore over existing files", kPoints},
        [&] {
            fs::remove_all(out);
            for (const auto& [path, content] : old) {
                fs::create_directories(fs::path(out + "/" + path).parent_path());
                WriteFile(out + "/" + path, content);
            }
            WriteFile(package, packed);
        },
        [&] {
            return StartVarnex(home, {"--package-password-file", dir / "pw", "--answers", "replace=all", "decrypt",
                                      "--to", out, package});
        },
        [&](const KillPoint&) {
            ExpectSourcesIntactAndTemporariesNamed(out);
            const bool packageWhole = fs::exists(package) && ReadFile(package) == packed;
            auto restored = Snapshot(out);
            EXPECT_EQ(restored.size(), old.size()) << "no file went missing";
            for (const auto& [path, content] : restored) {
                const std::string& fresh = originals.at(path.substr(5));
                EXPECT_TRUE(content == fresh || (packageWhole && content == old.at(path))) << path;
            }
        });
}
