#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "KillPoints.h"
#include "TestLogon.h"
#include "drivers/Scrubber.h"
#include "engine/Korvane.h"
#include "platform/PathInfo.h"
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
    Wipe() { fs::create_directory(dir / "tmp"); }
    int Zero(const std::vector<std::string>& paths) { return engine.DelFileOrDir(PathList(paths).data(), 0); }
    int Random(const std::vector<std::string>& paths) { return engine.TrueDelFileOrDir(PathList(paths).data(), 0); }
    // The file held open, so what an overwrite left can be read after its name is gone (a
    // second name would keep the wipe from overwriting it).
    class Witness {
    public:
        explicit Witness(const std::string& path) : m_fd(::open(path.c_str(), O_RDONLY)) { EXPECT_GE(m_fd, 0); }
        ~Witness() { ::close(m_fd); }
        std::string Content() const {
            std::string out(1 << 20, '\0');
            ssize_t n = ::pread(m_fd, out.data(), out.size(), 0);
            out.resize(n > 0 ? static_cast<size_t>(n) : 0);
            return out;
        }

    private:
        int m_fd;
    };
    std::string Log() { return ReadFile(dir / "tmp/LumoLog.txt"); }

    CKorvane engine;
    ScopedEnv tmp{"TMPDIR", dir / "tmp"};
};

TEST_F(Wipe, RandomFillWritesOneBlockOverTheWholeFileAndDeletesReadOnlyFiles) {
    std::string big = dir / "big", ro = dir / "ro", empty = dir / "empty";
    WriteFile(big, RandomBytes(50000));
    WriteFile(ro, "read only");
    WriteFile(empty, "");
    ::chmod(ro.c_str(), 0444);
    Witness seen(big);

    EXPECT_EQ(Random({big, ro, empty, dir / "missing"}), 1);
    EXPECT_FALSE(fs::exists(big));
    EXPECT_FALSE(fs::exists(ro));
    EXPECT_FALSE(fs::exists(empty));
    std::string content = seen.Content();
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
    Witness seenBig(big), seenSmall(small);

    EXPECT_EQ(Zero({big, small}), 1);
    EXPECT_FALSE(fs::exists(big));
    EXPECT_FALSE(fs::exists(small));
    std::string content = seenBig.Content();
    EXPECT_EQ(content.substr(0, 10240), std::string(10240, '\0'));
    EXPECT_EQ(content.substr(10240), original.substr(10240));
    EXPECT_EQ(seenSmall.Content(), std::string(100, '\0'));
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
    // A package wiped after its restore is wiped only as the file the restore read: one put in its
    // place meanwhile, or a link, stays.
    WriteFile(dir / "package", "read");
    PathInfo read;
    ASSERT_TRUE(LookUpPath(dir / "package", &read, false));
    WriteFile(dir / "other", "new");
    fs::rename(dir / "other", dir / "package");
    EXPECT_EQ(ScrubRegularFile((dir / "package").c_str(), read.identity), WipeOutcome::kReplaced);
    EXPECT_EQ(ReadFile(dir / "package"), "new");
    fs::create_symlink(dir / "package", dir / "link");
    EXPECT_EQ(ScrubRegularFile((dir / "link").c_str(), read.identity), WipeOutcome::kNotRemoved);
    ASSERT_TRUE(LookUpPath(dir / "package", &read, false));
    EXPECT_EQ(ScrubRegularFile((dir / "package").c_str(), read.identity), WipeOutcome::kWiped);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
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
    ScopedEnv noTmp("TMPDIR", nullptr);
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

// What is not wiped fails the call and is logged with its reason: a file with another name
// outside the tree (only its name goes: the other reads what it read before), a file the system
// will not let anyone write (a running program: its name goes), "DIR/." where DIR is a link
// (never followed: the link's target keeps its files).
TEST_F(Wipe, FilesThatCannotBeOverwrittenAndDotPathsFailAndAreLogged) {
    fs::create_directories(dir / "tree");
    fs::create_directories(dir / "outside");
    WriteFile(dir / "tree/linked", "also outside");
    ASSERT_EQ(::link((dir / "tree/linked").c_str(), (dir / "outside/linked").c_str()), 0);
    WriteFile(dir / "tree/plain", "plain");
    fs::copy_file("/bin/sleep", dir / "tree/busy");
    ::chmod((dir / "tree/busy").c_str(), 0755);
    pid_t running = StartChild([&] { return ::execl((dir / "tree/busy").c_str(), "busy", "30", nullptr); });
    // Nobody may write it while the program runs: wait until it does.
    for (int i = 0; i < 500; ++i) {
        int fd = ::open((dir / "tree/busy").c_str(), O_WRONLY);
        if (fd < 0) break;
        ::close(fd);
        ::usleep(10000);
    }
    WriteFile(dir / "outside/keep", "keep");
    fs::create_directory_symlink(dir / "outside", dir / "link");

    EXPECT_EQ(Random({dir / "tree", dir / "link/.", dir / "link/.."}), 0);
    ::kill(running, SIGKILL);
    WaitChild(running);
    EXPECT_EQ(ReadFile(dir / "outside/linked"), "also outside");
    EXPECT_EQ(ReadFile(dir / "outside/keep"), "keep");
    EXPECT_FALSE(fs::exists(dir / "tree")) << "every name in the tree is gone";
    // The log's lines, in the order the walk met them.
    std::vector<std::string> lines;
    const std::string log = Log();
    for (size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(log.substr(at, end - at));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         dir / "link/., 出错原因: 不删除\".\"或\"..\"",
                         dir / "link/.., 出错原因: 不删除\".\"或\"..\"",
                         dir / "tree/busy, 出错原因: 内容未被擦除: Text file busy",
                         dir / "tree/linked, 出错原因: 其他名称仍在，内容未被擦除",
                         "以下文件或目录未被删除:",
                     }));
}

// The command: exit 0 only when everything named was wiped; a missing path, "." or ".." and a
// file that stays fail it, and the others are wiped all the same.
TEST_F(Wipe, CommandExitsByResult) {
    WriteFile(dir / "a", "x");
    WriteFile(dir / "b", "x");
    fs::create_directories(dir / "d");
    WriteFile(dir / "d/dirinfo", "x");
    const std::string home = logon.Home();
    CliOutcome ok = RunVarnex(dir, home, "wipe " + dir / "a", "TMPDIR=" + dir / "tmp");
    EXPECT_EQ(ok.exit, 0) << ok.err;
    EXPECT_FALSE(fs::exists(dir / "a"));
    CliOutcome missing =
        RunVarnex(dir, home, "wipe " + dir / "nothing " + dir / "d/. " + dir / "b", "TMPDIR=" + dir / "tmp");
    EXPECT_EQ(missing.exit, 1);
    EXPECT_EQ(missing.err, "varnex: " + dir / "nothing: no such file or folder\nvarnex: " +
                               dir / "d/.: refusing to wipe '.' or '..'\nvarnex: 1 path wiped\n");
    EXPECT_FALSE(fs::exists(dir / "b"));
    EXPECT_TRUE(fs::exists(dir / "d/dirinfo"));
    CliOutcome failed = RunVarnex(dir, home, "wipe --zero " + dir / "d", "TMPDIR=" + dir / "tmp");
    EXPECT_EQ(failed.exit, 1);
    EXPECT_NE(failed.err.find("LumoLog.txt"), std::string::npos) << failed.err;
}

}  // namespace
