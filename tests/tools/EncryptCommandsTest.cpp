// varnex encrypt, share-encrypt and original as a script runs them.

#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

namespace {

// The text between `before` and the next `end` in `text`; empty when `before` is not there.
std::string Between(const std::string& text, const std::string& before, char end) {
    size_t at = text.find(before);
    if (at == std::string::npos) return {};
    at += before.size();
    return text.substr(at, text.find(end, at) - at);
}

}  // namespace

TEST(EncryptCommands, EncryptInPlaceTellTheOriginalAndDecryptBack) {
    TempDir dir;
    const std::string home = dir / "suite";
    {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home));
        ASSERT_NE(store.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
        ASSERT_NE(store.AddUser("bob", "Bob", "bob@example.org", "pw-bob"), 0);
        ASSERT_NE(store.AddGroup("team"), 0);
        ASSERT_TRUE(store.AddGroupMembers("team", {"bob"}));
    }
    WriteFile(dir / "pa", "pw-alice\n");
    WriteFile(dir / "pb", "pw-bob\n");
    fs::create_directories(dir / "docs/sub");
    WriteFile(dir / "docs/report.doc", "report");
    WriteFile(dir / "docs/sub/note.txt", "note");
    const std::string as = "--user alice --password-file " + dir / "pa" + " ";

    auto encrypted = RunVarnex(dir, home, as + "encrypt " + dir / "docs");
    ASSERT_EQ(encrypted.exit, 0) << encrypted.err;
    const std::string package = Between(encrypted.out, "report.doc -> ", '\n');
    ASSERT_TRUE(package.size() > 16 && package.ends_with(".doc.vrk")) << encrypted.out;
    EXPECT_NE(encrypted.err.find("2 files encrypted, 0 skipped, 0 failed"), std::string::npos) << encrypted.err;
    EXPECT_FALSE(fs::exists(dir / "docs/report.doc"));

    auto told = RunVarnex(dir, home, as + "original --json " + package);
    ASSERT_EQ(told.exit, 0) << told.err;
    EXPECT_NE(told.out.find("\"name\": \"report.doc\""), std::string::npos) << told.out;
    EXPECT_NE(told.out.find("\"size\": 6"), std::string::npos) << told.out;
    EXPECT_EQ(RunVarnex(dir, home, "--user bob --password-file " + dir / "pb" + " original " + package).exit, 1);

    auto restored = RunVarnex(dir, home, as + "decrypt --to " + dir / "out " + package);
    ASSERT_EQ(restored.exit, 0) << restored.err;
    EXPECT_EQ(ReadFile(dir / "out/report.doc"), "report");

    ASSERT_EQ(RunVarnex(dir, home, "share grant " + dir / "shared @team").exit, 0);
    WriteFile(dir / "s.txt", "shared");
    auto shared = RunVarnex(dir, home, as + "share-encrypt --json --share " + dir / "shared " + dir / "s.txt");
    ASSERT_EQ(shared.exit, 0) << shared.err;
    const std::string sharedPackage = Between(shared.out, "\"package\": \"", '"');
    ASSERT_FALSE(sharedPackage.empty()) << shared.out;
    auto bob = RunVarnex(dir, home,
                         "--user bob --password-file " + dir / "pb" + " decrypt --to " + dir / "b " + sharedPackage);
    EXPECT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(ReadFile(dir / "b/s.txt"), "shared");

    EXPECT_EQ(RunVarnex(dir, home, as + "share-encrypt " + dir / "s.txt").exit, 2) << "--share is required";
    auto missing = RunVarnex(dir, home, as + "encrypt " + dir / "nothing-here");
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("nothing-here: no such file or folder"), std::string::npos) << missing.err;
}

TEST(EncryptCommands, TwoRunsOverOneFolderPackageEveryFileOnce) {
    TempDir dir, first, second;
    const std::string home = dir / "suite";
    {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home));
        ASSERT_NE(store.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
    }
    WriteFile(dir / "pa", "pw-alice\n");
    fs::create_directories(dir / "docs");
    const int files = 30;
    for (int i = 0; i < files; ++i) WriteFile(dir / ("docs/f" + std::to_string(i) + ".txt"), std::to_string(i));
    const std::string args = "--user alice --password-file " + dir / "pa" + " encrypt " + dir / "docs";

    CliOutcome a, b;
    std::thread other([&] { a = RunVarnex(first, home, args); });
    b = RunVarnex(second, home, args);
    other.join();
    // The run that falls behind may find a file already gone and stop there; the one ahead
    // finishes the folder.
    EXPECT_TRUE(a.exit == 0 || b.exit == 0) << a.err << b.err;
    int packages = 0;
    for (const auto& entry : fs::directory_iterator(dir / "docs")) {
        EXPECT_EQ(entry.path().extension(), ".vrk") << entry.path() << " was left behind";
        ++packages;
    }
    EXPECT_EQ(packages, files) << "a file was packaged by both runs\n" << a.err << b.err;
}
