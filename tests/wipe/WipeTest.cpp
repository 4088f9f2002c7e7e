#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "TestLogon.h"
#include "drivers/Scrubber.h"
#include "engine/Korvane.h"
#include "wipe/DeleteLog.h"

namespace {

namespace fs = std::filesystem;

// A file the system refuses to delete even for the superuser (the immutable flag); the flag
// is cleared again when the test ends so the temporary folder can go.
class Undeletable {
public:
    explicit Undeletable(const std::string& path) : m_path(path) { m_ok = SetFlag(true); }
    ~Undeletable() {
        if (m_ok) SetFlag(false);
    }
    bool Ok() const { return m_ok; }

private:
    bool SetFlag(bool on) {
        int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }
    std::string m_path;
    bool m_ok = false;
};

class Wipe : public LogonHostTest {
protected:
    Wipe() {
        if (const char* t = std::getenv("TMPDIR")) m_savedTmp = t, m_hadTmp = true;
        fs::create_directory(dir / "tmp");
        ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
    }
    ~Wipe() override {
        if (m_hadTmp)
            ::setenv("TMPDIR", m_savedTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    int Zero(const std::vector<std::string>& paths) { return engine.DelFileOrDir(PathList(paths).data(), 0); }
    int Random(const std::vector<std::string>& paths) { return engine.TrueDelFileOrDir(PathList(paths).data(), 0); }
    // A second name for a file's content, so what an overwrite left can be read after the
    // wiped name is gone.
    std::string Witness(const std::string& path) {
        std::string other = path + ".witness";
        EXPECT_EQ(::link(path.c_str(), other.c_str()), 0);
        return other;
    }
    std::string Log() { return ReadFile(dir / "tmp/LumoLog.txt"); }

    CKorvane engine;

private:
    std::string m_savedTmp;
    bool m_hadTmp = false;
};

TEST_F(Wipe, RandomFillWritesOneBlockOverTheWholeFileAndDeletesReadOnlyFiles) {
    std::string big = dir / "big", ro = dir / "ro", empty = dir / "empty";
    WriteFile(big, RandomBytes(50000));
    WriteFile(ro, "read only");
    WriteFile(empty, "");
    ::chmod(ro.c_str(), 0444);
    std::string seen = Witness(big);

    EXPECT_EQ(Random({big, ro, empty, dir / "missing"}), 1);
    EXPECT_FALSE(fs::exists(big));
    EXPECT_FALSE(fs::exists(ro));
    EXPECT_FALSE(fs::exists(empty));
    std::string content = ReadFile(seen);
    ASSERT_EQ(content.size(), 50000u);
    std::string block = content.substr(0, 20480);
    EXPECT_NE(block, RandomBytes(50000).substr(0, 20480));
    EXPECT_EQ(content.substr(20480, 20480), block);
    EXPECT_EQ(content.substr(40960), block.substr(0, 9040));
    EXPECT_EQ(Log(), "以下文件或目录未被删除:\r\n");
}

TEST_F(Wipe, ZeroFillOverwritesTheBeginningOfEveryFile) {
    std::string big = dir / "big", small = dir / "small";
    std::string original = RandomBytes(1000000);
    WriteFile(big, original);
    WriteFile(small, RandomBytes(100, 2));
    ::chmod(big.c_str(), 0444);
    std::string seenBig = Witness(big), seenSmall = Witness(small);

    EXPECT_EQ(Zero({big, small}), 1);
    EXPECT_FALSE(fs::exists(big));
    EXPECT_FALSE(fs::exists(small));
    std::string content = ReadFile(seenBig);
    EXPECT_EQ(content.substr(0, 10240), std::string(10240, '\0'));
    EXPECT_EQ(content.substr(10240), original.substr(10240));
    EXPECT_EQ(ReadFile(seenSmall), std::string(100, '\0'));
}

// Never following a link, named or met in a tree, is deliberate (docs/differences.md).
TEST_F(Wipe, LinksAreRemovedAndTheirTargetsLeftAlone) {
    std::string outside = dir / "outside", target = dir / "outside/keep";
    fs::create_directories(outside);
    WriteFile(target, "precious");
    fs::create_directories(dir / "tree/sub");
    WriteFile(dir / "tree/sub/f", "x");
    fs::create_directory_symlink(outside, dir / "tree/to-folder");
    fs::create_symlink(target, dir / "tree/sub/to-file");
    fs::create_symlink(target, dir / "named-link");
    fs::create_symlink(outside, dir / "named-folder-link");

    EXPECT_EQ(Random({dir / "tree", dir / "named-link", dir / "named-folder-link/"}), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "tree")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "named-link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "named-folder-link")));
    EXPECT_EQ(ReadFile(target), "precious");

    // The wipe module takes the same care.
    fs::create_symlink(target, dir / "link");
    WriteFile(dir / "package", RandomBytes(400000));
    EXPECT_EQ(ScrubFile((dir / "link").c_str()), 1);
    EXPECT_EQ(ScrubFile((dir / "package").c_str()), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
    EXPECT_FALSE(fs::exists(dir / "package"));
    EXPECT_EQ(ReadFile(target), "precious");
}

TEST_F(Wipe, WhatStaysKeepsTheFoldersOnItsPathAndIsLoggedWithTheReason) {
    // root/kept/dirinfo is never deleted, so root/kept and root stay; the rest goes.
    fs::create_directories(dir / "root/kept");
    fs::create_directories(dir / "root/gone/deeper");
    WriteFile(dir / "root/kept/dirinfo", "folder description");
    WriteFile(dir / "root/kept/f", "x");
    WriteFile(dir / "root/gone/deeper/f", "x");
    std::string opened = dir / "opened";
    std::string opener = dir / "opener.sh";
    WriteFile(opener, "#!/bin/sh\ncp \"$1\" " + opened + "\n");
    ::chmod(opener.c_str(), 0700);
    ASSERT_TRUE(logon.SetOption("Option", "OpenWith", opener));

    EXPECT_EQ(Random({dir / "root"}), 0);
    EXPECT_TRUE(fs::exists(dir / "root/kept/dirinfo"));
    EXPECT_FALSE(fs::exists(dir / "root/kept/f"));
    EXPECT_FALSE(fs::exists(dir / "root/gone"));
    EXPECT_EQ(Log(), "以下文件或目录未被删除:\r\n" + dir / "root/kept/" + ", 出错原因: Directory not empty\r\n");
    EXPECT_FALSE(fs::exists(opened)) << "random fill does not show the log";

    // A file the system refuses to delete is logged with its reason; zero fill shows the log.
    fs::create_directories(dir / "z/a");
    WriteFile(dir / "z/a/stuck", "x");
    fs::create_directories(dir / "z/empty");
    Undeletable stuck(dir / "z/a/stuck");
    if (!stuck.Ok()) GTEST_SKIP() << "this file system cannot make a file undeletable";
    EXPECT_EQ(Zero({dir / "z"}), 0);
    EXPECT_TRUE(fs::exists(dir / "z/a/stuck"));
    EXPECT_FALSE(fs::exists(dir / "z/empty"));
    EXPECT_EQ(Log(), "以下文件或目录未被删除:\r\n" + dir / "z/a/stuck" + ", 出错原因: Operation not permitted\r\n");
    EXPECT_EQ(ReadFile(opened), Log());
}

TEST_F(Wipe, DeleteLogIsOwnerOnlyAndNeverWrittenThroughALink) {
    // Without TMPDIR the log lives in the suite folder's own tmp/.
    ::unsetenv("TMPDIR");
    WriteFile(dir / "f", "x");
    EXPECT_EQ(Random({dir / "f"}), 1);
    struct stat st {};
    const std::string tmp = logon.Home() + "/tmp";
    ASSERT_EQ(::stat(tmp.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(ReadFile(tmp + "/LumoLog.txt"), "以下文件或目录未被删除:\r\n");

    // A link planted in its place is refused; deletion goes on without a log.
    fs::remove(tmp + "/LumoLog.txt");
    WriteFile(dir / "victim", "not yours");
    fs::create_symlink(dir / "victim", tmp + "/LumoLog.txt");
    fs::create_directories(dir / "d");
    WriteFile(dir / "d/dirinfo", "x");
    EXPECT_EQ(Random({dir / "d"}), 0);
    EXPECT_EQ(ReadFile(dir / "victim"), "not yours");
}

TEST_F(Wipe, CommandExitsByResult) {
    WriteFile(dir / "a", "x");
    fs::create_directories(dir / "d");
    WriteFile(dir / "d/dirinfo", "x");
    const std::string home = logon.Home();
    CliOutcome ok = RunVarnex(dir, home, "wipe " + dir / "a" + " " + dir / "nothing", "TMPDIR=" + dir / "tmp");
    EXPECT_EQ(ok.exit, 0) << ok.err;
    EXPECT_FALSE(fs::exists(dir / "a"));
    CliOutcome failed = RunVarnex(dir, home, "wipe --zero " + dir / "d", "TMPDIR=" + dir / "tmp");
    EXPECT_EQ(failed.exit, 1);
    EXPECT_NE(failed.err.find("LumoLog.txt"), std::string::npos) << failed.err;
}

}  // namespace
