// varnex pack and varnex decrypt as a script runs them.

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(PackCommand, PacksAndRestoresWithPasswordFilesAndReportsFailuresByExitCode) {
    TempDir dir;
    std::string home = dir / "suite";
    fs::create_directories(dir / "data/docs/empty");
    WriteFile(dir / "data/docs/a.txt", "alpha");
    WriteFile(dir / "pw", "secret12\n");
    WriteFile(dir / "wrong", "secret13\n");
    WriteFile(dir / "short", "abc\n");

    auto packed =
        RunVarnex(dir, home, "--new-password-file " + dir / "pw" + " pack -o " + dir / "d.pkg " + dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_EQ(
        RunVarnex(dir, home, "--new-password-file " + dir / "pw" + " pack -o " + dir / "d.pkg " + dir / "data").exit, 1)
        << "an existing package is not replaced without --force";
    EXPECT_EQ(
        RunVarnex(dir, home, "--new-password-file " + dir / "short" + " pack -o " + dir / "s.pkg " + dir / "data").exit,
        1);
    EXPECT_FALSE(fs::exists(dir / "s.pkg"));
    EXPECT_EQ(RunVarnex(dir, home, "pack -o " + dir / "x.pkg --cipher 7 " + dir / "data").exit, 2);

    auto wrong = RunVarnex(
        dir, home, "--package-password-file " + dir / "wrong" + " decrypt --to " + dir / "out " + dir / "d.pkg");
    EXPECT_EQ(wrong.exit, 1);
    EXPECT_NE(wrong.err.find("d.pkg: 对不起，密码错!"), std::string::npos) << wrong.err;

    auto restored = RunVarnex(
        dir, home, "--package-password-file " + dir / "pw" + " decrypt --keep --to " + dir / "out " + dir / "d.pkg");
    ASSERT_EQ(restored.exit, 0) << restored.err;
    EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "alpha");
    EXPECT_TRUE(fs::is_directory(dir / "out/docs/empty"));

    // Without a terminal an existing file is kept, and the question is still shown.
    WriteFile(dir / "out/docs/a.txt", "kept");
    auto again =
        RunVarnex(dir, home, "--package-password-file " + dir / "pw" + " decrypt --to " + dir / "out " + dir / "d.pkg");
    EXPECT_EQ(again.exit, 0);
    EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "kept");
    EXPECT_NE(again.err.find("已存在"), std::string::npos) << again.err;
}
