// What packing and restoring never do, whatever is found on disk: write through a symbolic
// link below the output folder, leave restored secrets readable by others, follow links met
// inside a packed tree, or store a name that would read back as another path.

#include <sys/stat.h>

#include "PasswordPackageFixture.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

bool AnyTempFileIn(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".varnex-") != std::string::npos) return true;
    return false;
}

}  // namespace

// A folder link already at the destination is refused with the structure message, and
// nothing lands where it points; a file link is replaced by the restored file, and the file it
// pointed to keeps its content and mode.
TEST_F(PasswordPackageTest, RestoreNeverWritesThroughALinkBelowTheOutputFolder) {
    fs::create_directories(dir / "src/t");
    WriteFile(dir / "src/t/f.txt", "packed");
    ASSERT_EQ(Pack({"src/t"}), 1);

    fs::create_directories(dir / "victim");
    fs::create_directories(dir / "out");
    fs::create_directory_symlink("../victim", dir / "out/t");
    EXPECT_EQ(Restore(), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"文件结构错."});
    EXPECT_TRUE(fs::is_empty(dir / "victim"));

    fs::remove(dir / "out/t");
    fs::create_directories(dir / "out/t");
    WriteFile(dir / "victim/f.txt", "someone else's");
    ::chmod((dir / "victim/f.txt").c_str(), 0444);
    fs::create_symlink("../../victim/f.txt", dir / "out/t/f.txt");
    host.Clear();
    host.AddAnswer("replace", "yes");
    CKorvane again;
    ASSERT_EQ(RestoreWith(again, "p.pkg", "secret1"), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_FALSE(fs::is_symlink(dir / "out/t/f.txt"));
    EXPECT_EQ(ReadFile(dir / "out/t/f.txt"), "packed");
    EXPECT_EQ(ReadFile(dir / "victim/f.txt"), "someone else's");
    EXPECT_EQ(ModeOf(dir / "victim/f.txt"), 0444u) << "the link's target keeps its mode";
    EXPECT_EQ(ModeOf(dir / "out/t/f.txt"), 0600u);
}

// The format carries no permission bits and the content was secret: new files come back
// owner-only (the read-only attribute on top), new folders too; a replaced file keeps its mode.
TEST_F(PasswordPackageTest, RestoredFilesAndFoldersAreOwnerOnly) {
    fs::create_directories(dir / "src/d/sub");
    WriteFile(dir / "src/d/sub/open.txt", "o");
    WriteFile(dir / "src/d/ro.txt", "r");
    WriteFile(dir / "src/d/kept.txt", "new");
    ::chmod((dir / "src/d/sub/open.txt").c_str(), 0644);
    ::chmod((dir / "src/d/ro.txt").c_str(), 0444);
    ASSERT_EQ(Pack({"src/d"}), 1);
    fs::create_directories(dir / "out/d");
    WriteFile(dir / "out/d/kept.txt", "old");
    ::chmod((dir / "out/d/kept.txt").c_str(), 0640);
    host.AddAnswer("replace", "yes");
    ASSERT_EQ(Restore(), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_EQ(ModeOf(dir / "out/d/sub/open.txt"), 0600u);
    EXPECT_EQ(ModeOf(dir / "out/d/ro.txt"), 0400u);
    EXPECT_EQ(ModeOf(dir / "out/d/sub"), 0700u);
    EXPECT_EQ(ReadFile(dir / "out/d/kept.txt"), "new");
    EXPECT_EQ(ModeOf(dir / "out/d/kept.txt"), 0640u);
    EXPECT_FALSE(AnyTempFileIn(dir / "out/d"));
}

// A link named as a path is followed; links met inside a tree (to files and to folders) and
// special files are left out and named in one notice at the end; a path that is not a file
// or a folder is refused by name before any package exists.
TEST_F(PasswordPackageTest, LinksInsideATreeAreLeftOutAndNamedAndOddPathsRefused) {
    fs::create_directories(dir / "src/tree/real");
    fs::create_directories(dir / "outside");
    WriteFile(dir / "outside/secret", "not to be packed");
    WriteFile(dir / "src/tree/real/a", "a");
    fs::create_symlink(dir / "outside/secret", dir / "src/tree/filelink");
    fs::create_directory_symlink(dir / "outside", dir / "src/tree/dirlink");
    ASSERT_EQ(::mkfifo((dir / "src/tree/fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "outside/secret", dir / "src/named");

    ASSERT_EQ(Pack({"src/tree", "src/named"}), 1);
    ASSERT_EQ(host.Messages().size(), 1u);
    std::string notice = host.Messages()[0].text;
    for (const char* name : {"src/tree/filelink", "src/tree/dirlink", "src/tree/fifo"})
        EXPECT_NE(notice.find(dir / name), std::string::npos) << name << " in " << notice;
    EXPECT_EQ(notice.find("named"), std::string::npos);
    host.Clear();
    ASSERT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/tree/real/a"), "a");
    EXPECT_EQ(ReadFile(dir / "out/named"), "not to be packed") << "a link named as a path is followed";
    EXPECT_FALSE(fs::exists(dir / "out/tree/filelink"));
    EXPECT_FALSE(fs::exists(dir / "out/tree/dirlink"));
    EXPECT_FALSE(fs::exists(dir / "out/tree/fifo"));

    fs::create_symlink(dir / "nowhere", dir / "src/dangling");
    for (const char* odd : {"src/tree/fifo", "src/dangling", "src/ghost"}) {
        host.Clear();
        EXPECT_EQ(Pack({"src/tree/real", odd}, "odd.pkg"), 0) << odd;
        ASSERT_EQ(host.Messages().size(), 1u) << odd;
        EXPECT_NE(host.Messages()[0].text.find(dir / odd), std::string::npos) << host.Messages()[0].text;
        EXPECT_FALSE(fs::exists(dir / "odd.pkg"));
    }
    EXPECT_FALSE(AnyTempFileIn(dir.Path()));
}

// '\' is the stored separator and has no escape: a folder or file name holding it is refused
// by name, and no package is made (otherwise "a\b/g" and "a/b/g" would be one path).
TEST_F(PasswordPackageTest, BackslashInAFolderOrFileNameIsRefusedByName) {
    fs::create_directories(dir / "src/top/a\\b");
    fs::create_directories(dir / "src/top/a/b");
    WriteFile(dir / "src/top/a\\b/g.txt", "one");
    WriteFile(dir / "src/top/a/b/g.txt", "two");
    fs::create_directories(dir / "src/files");
    WriteFile(dir / "src/files/x\\y.txt", "z");
    for (auto [tree, name] : {std::pair{"src/top", "a\\b"}, {"src/files", "x\\y.txt"}}) {
        host.Clear();
        EXPECT_EQ(Pack({tree}), 0) << tree;
        ASSERT_EQ(host.Messages().size(), 1u) << tree;
        EXPECT_NE(host.Messages()[0].text.find(name), std::string::npos) << host.Messages()[0].text;
        EXPECT_FALSE(fs::exists(dir / "p.pkg"));
    }
    EXPECT_FALSE(AnyTempFileIn(dir.Path()));
}
