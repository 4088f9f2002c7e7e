// varnex encrypt, share-encrypt and original as a script runs them.

#include <filesystem>
#include <thread>

#include "CliTest.h"

namespace fs = std::filesystem;

namespace {

// The text between `before` and the next `end` in `text`; empty when `before` is not there.
std::string Between(const std::string& text, const std::string& before, char end) {
    size_t at = text.find(before);
    if (at == std::string::npos) return {};
    at += before.size();
    return text.substr(at, text.find(end, at) - at);
}

using EncryptCommands = CliTest;

}  // namespace

TEST_F(EncryptCommands, EncryptInPlaceTellTheOriginalAndDecryptBack) {
    AddUsers({"alice", "bob"});
    {
        TestLogon store(home);
        ASSERT_NE(store.AddGroup("team"), 0);
        ASSERT_TRUE(store.AddGroupMembers("team", {"bob"}));
    }
    fs::create_directories(dir / "docs/sub");
    WriteFile(dir / "docs/report.doc", "report");
    WriteFile(dir / "docs/sub/note.txt", "note");

    auto encrypted = As("alice", "encrypt " + dir / "docs");
    ASSERT_EQ(encrypted.exit, 0) << encrypted.err;
    const std::string package = Between(encrypted.out, "report.doc -> ", '\n');
    ASSERT_TRUE(package.size() > 16 && package.ends_with(".doc.vrk")) << encrypted.out;
    EXPECT_NE(encrypted.err.find("2 files encrypted, 0 skipped, 0 failed"), std::string::npos) << encrypted.err;
    EXPECT_FALSE(fs::exists(dir / "docs/report.doc"));

    auto told = As("alice", "original --json " + package);
    ASSERT_EQ(told.exit, 0) << told.err;
    EXPECT_NE(told.out.find("\"name\": \"report.doc\""), std::string::npos) << told.out;
    EXPECT_NE(told.out.find("\"size\": 6"), std::string::npos) << told.out;
    EXPECT_EQ(As("bob", "original " + package).exit, 1);

    auto restored = As("alice", "decrypt --to " + dir / "out " + package);
    ASSERT_EQ(restored.exit, 0) << restored.err;
    EXPECT_EQ(ReadFile(dir / "out/report.doc"), "report");

    ASSERT_EQ(Varnex("share grant " + dir / "shared @team").exit, 0);
    WriteFile(dir / "s.txt", "shared");
    auto shared = As("alice", "share-encrypt --json --share " + dir / "shared " + dir / "s.txt");
    ASSERT_EQ(shared.exit, 0) << shared.err;
    const std::string sharedPackage = Between(shared.out, "\"package\": \"", '"');
    ASSERT_FALSE(sharedPackage.empty()) << shared.out;
    auto bob = As("bob", "decrypt --to " + dir / "b " + sharedPackage);
    EXPECT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(ReadFile(dir / "b/s.txt"), "shared");

    EXPECT_EQ(As("alice", "share-encrypt " + dir / "s.txt").exit, 2) << "--share is required";
    auto missing = As("alice", "encrypt " + dir / "nothing-here");
    EXPECT_EQ(missing.exit, 1);
    EXPECT_NE(missing.err.find("nothing-here: no such file or folder"), std::string::npos) << missing.err;
}

TEST_F(EncryptCommands, TwoRunsOverOneFolderPackageEveryFileOnce) {
    AddUsers({"alice"});
    TempDir first, second;
    fs::create_directories(dir / "docs");
    const int files = 30;
    for (int i = 0; i < files; ++i) WriteFile(dir / ("docs/f" + std::to_string(i) + ".txt"), std::to_string(i));
    const std::string args = "--user alice encrypt " + dir / "docs";

    CliOutcome a, b;
    std::thread other([&] { a = RunVarnex(first, home, args, "VARNEX_PASSWORD=pw-alice"); });
    b = RunVarnex(second, home, args, "VARNEX_PASSWORD=pw-alice");
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
