#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "platform/FileStatus.h"

namespace {

class FileStatus : public LogonHostTest {
protected:
    std::string Status(const std::string& path, unsigned char* attr = nullptr, unsigned long* size = nullptr) {
        CFile file(path, CFile::modeRead);
        char modified[15] = {}, created[15] = {};
        unsigned long s = 0;
        unsigned char a = 0;
        EXPECT_EQ(engine.GetFileStatus(&file, modified, created, &s, &a), 1);
        EXPECT_EQ(std::strlen(created), 14u);
        if (attr) *attr = a;
        if (size) *size = s;
        return modified;
    }

    CKorvane engine;
};

TEST_F(FileStatus, TakenStatusGivenBackRestoresTimeToTheSecondReadOnlyAndHidden) {
    std::string path = dir / "f.txt";
    WriteFile(path, std::string(1500, 'x'));
    ASSERT_EQ(engine.SetFileStatus(path.c_str(), "20030105090703", "", 0x21), 1);
    unsigned char attr = 0;
    unsigned long size = 0;
    std::string modified = Status(path, &attr, &size);
    EXPECT_EQ(modified, "20030105090703");
    EXPECT_EQ(attr, 0x21);
    EXPECT_EQ(size, 1500u);
    time_t before = ModifiedAt(path);

    // Change both, then give the taken status back.
    ASSERT_EQ(engine.SetFileStatus(path.c_str(), "20240229235959", "20240229235959", 0x20), 1);
    EXPECT_NE(ModifiedAt(path), before);
    EXPECT_NE(ModeOf(path) & S_IWUSR, 0u);
    ASSERT_EQ(engine.SetFileStatus(path.c_str(), modified.c_str(), "2003010509070", attr), 1);
    EXPECT_EQ(ModifiedAt(path), before);
    EXPECT_EQ(ModeOf(path) & 0222, 0u);

    // A read-only file given the archive byte becomes writable and still takes the time.
    ASSERT_EQ(engine.SetFileStatus(path.c_str(), "19991231235958", nullptr, 0x20), 1);
    EXPECT_EQ(Status(path, &attr), "19991231235958");
    EXPECT_EQ(attr, 0x20);

    // A dot name is hidden; a folder is a folder, not an archive.
    WriteFile(dir / ".hidden", "x");
    Status(dir / ".hidden", &attr);
    EXPECT_EQ(attr, 0x22);
    FileStatusInfo info;
    ASSERT_TRUE(ReadFileStatus(dir.Path(), info));
    EXPECT_EQ(info.attributes & 0x30, 0x10);
}

// A time text that is no real date (31 February, hour 24, ...) leaves the times alone but the
// attributes still apply; the answer is 0 because the status was not wholly applied.
TEST_F(FileStatus, BadTimeTextsLeaveTheTimesButApplyTheAttributes) {
    std::string path = dir / "f";
    WriteFile(path, "x");
    ASSERT_EQ(engine.SetFileStatus(path.c_str(), "20030105090703", "", 0x20), 1);
    time_t before = ModifiedAt(path);
    for (const char* text :
         {"", "2003010509070", "200301050907031", "2003010509070x", "20031305090703", "20030231090703",
          "20030105240703", "20030105096003", "2003-1-5 9:7:3", "-0030105090703"}) {
        ASSERT_EQ(engine.SetFileStatus(path.c_str(), "20030105090703", "", 0x20), 1);
        EXPECT_EQ(engine.SetFileStatus(path.c_str(), text, "", 0x21), 0) << text;
        EXPECT_EQ(ModeOf(path) & S_IWUSR, 0u) << text << ": the read-only attribute applies anyway";
    }
    EXPECT_EQ(engine.SetFileStatus(path.c_str(), nullptr, nullptr, 0x20), 0);
    EXPECT_EQ(ModifiedAt(path), before);
    EXPECT_NE(ModeOf(path) & S_IWUSR, 0u);
    EXPECT_EQ(engine.SetFileStatus("20040229000000", "20040229000000", "", 0x20), 0);
    EXPECT_EQ(engine.SetFileStatus((dir / "none").c_str(), "20030105090703", "", 0x20), 0);
    EXPECT_EQ(engine.SetFileStatus(dir.Path().c_str(), "20030105090703", "", 0x20), 0) << "a folder";
    EXPECT_EQ(engine.SetFileArchiveStatus(dir.Path().c_str(), 0x21), 0);
    EXPECT_EQ(engine.SetFileArchiveStatus((dir / "none").c_str(), 0x21), 0);
    EXPECT_EQ(engine.SetFileArchiveStatus(path.c_str(), 0x21), 1);
    EXPECT_EQ(ModeOf(path) & 0222, 0u);
    EXPECT_TRUE(host.Messages().empty());

    // Without a logon library the file system is asked directly.
    ScopedLogonLibrary none(nullptr);
    EXPECT_EQ(engine.SetFileStatus(path.c_str(), "20030105090703", "", 0x20), 1);
    EXPECT_EQ(engine.SetFileStatus((dir / "none").c_str(), "20030105090703", "", 0x20), 0);
}

class PathProbe : public CKorvane {
public:
    using CKorvane::GetRelativePath;
};

TEST_F(FileStatus, RelativePathsIgnoreCaseAndRespectFolderBoundaries) {
    PathProbe engine;
    char base[260] = "/Data", folder[260] = "/data/Sub/Deep", out[260] = "?";
    EXPECT_EQ(engine.GetRelativePath(base, folder, out), 1);
    EXPECT_STREQ(out, "Sub/Deep/");
    EXPECT_STREQ(base, "/Data/");
    EXPECT_STREQ(folder, "/data/Sub/Deep/");

    char base2[260] = "/Data/", folder2[260] = "/Database/";
    EXPECT_EQ(engine.GetRelativePath(base2, folder2, out), 0);
    char same[260] = "/DATA";
    EXPECT_EQ(engine.GetRelativePath(base, same, out), 1);
    EXPECT_STREQ(out, "");

    // A full buffer has no room for the separator: refused, nothing written past it.
    char full[260];
    std::memset(full, 'a', 259);
    full[0] = '/';
    full[259] = '\0';
    char root[260] = "/";
    EXPECT_EQ(engine.GetRelativePath(root, full, out), 0);
}

TEST_F(FileStatus, ParentFoldersSeparatorsAndUserInfo) {
    std::filesystem::create_directories(dir / "a/b");
    WriteFile(dir / "a/x.txt", "x");
    char out[260];
    ASSERT_EQ(engine.GetParentDirectory((dir / "a/b/").c_str(), out), 1);
    EXPECT_EQ(std::string(out), dir / "a/");
    ASSERT_EQ(engine.GetParentDirectory((dir / "a/x.txt").c_str(), out), 1);
    EXPECT_EQ(std::string(out), dir / "a/");
    EXPECT_EQ(engine.GetParentDirectory("/", out), 0);
    EXPECT_EQ(engine.GetParentDirectory((dir / "none").c_str(), out), 0);

    EXPECT_EQ(engine.DirEqualNoCase("/Home/Ab", "/home/aB"), 1);
    EXPECT_EQ(engine.DirEqualNoCase("/a", "/a/"), 0);

    char first[64], second[64];
    engine.SeperateUserInfo("alice", first, second);
    EXPECT_STREQ(first, "alice");
    EXPECT_STREQ(second, "");
    engine.SeperateUserInfo("alice\nAlice Li<a@x.cn>\nmore", first, second);
    EXPECT_STREQ(first, "alice");
    EXPECT_STREQ(second, "Alice Li<a@x.cn>\nmore");
    engine.SeperateUserInfo("bob\n", first, second);
    EXPECT_STREQ(first, "bob");
    EXPECT_STREQ(second, "");
}

}  // namespace
