// The command line as a careful user and an attacker try it: concurrent packs, signals in the
// middle of the work, Ctrl-C at the password prompt, answers that cannot answer, listing and
// testing packages, and the small usage rules.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "CliTest.h"
#include "KillPoints.h"

namespace fs = std::filesystem;

namespace {

class CommandLine : public CliTest {
protected:
    CommandLine() {
        fs::create_directories(dir / "data/docs/empty");
        WriteFile(dir / "data/docs/a.txt", "alpha");
        WriteFile(dir / "pw", "secret12\n");
    }
    CliOutcome Pack(const std::string& package, const std::string& paths, const std::string& more = {}) {
        return Varnex("--new-password-file " + dir / "pw" + " pack " + more + " -o " + package + " " + paths);
    }
    CliOutcome Decrypt(const std::string& args) {
        return Varnex("--package-password-file " + dir / "pw" + " decrypt " + args);
    }
    bool AnyTempFile(const std::string& folder) { return !TempFilesBelow(folder).empty(); }
    pid_t Start(const std::vector<std::string>& args) { return StartVarnex(home, args); }
    // Waits until a temporary file shows in `folder` (true) or the process ended (false).
    bool WaitForTempFile(pid_t child, const std::string& folder) {
        for (int i = 0; i < 3000; ++i) {
            if (AnyTempFile(folder)) return true;
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // varnex with `args` on a new pseudo-terminal; answers its process id and the terminal's
    // other side in `master`.
    pid_t StartOnTerminal(const std::vector<std::string>& args, int& master) {
        pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            // As a terminal starts a program: Ctrl-C and Ctrl-\ act (a suite started in the
            // background of a script inherits them ignored).
            ::signal(SIGINT, SIG_DFL);
            ::signal(SIGQUIT, SIG_DFL);
            sigset_t none;
            ::sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ExecVarnex(home, args);
        }
        return child;
    }
    // Reads the terminal until what it shows next ends in `end` (true), or until it closes or a
    // minute has passed (false; the minute only bounds a program that never asks, as a sanitized
    // build on a busy machine can take seconds to start). An empty `end` reads until it closes.
    static bool ReadUntil(int master, const std::string& end, std::string& seen) {
        const size_t from = seen.size();
        char buffer[256];
        for (int i = 0; i < 600; ++i) {
            pollfd ready{master, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0) continue;
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) return end.empty();
            seen.append(buffer, static_cast<size_t>(n));
            if (!end.empty() && seen.size() > from && seen.ends_with(end)) return true;
        }
        return false;
    }
};

}  // namespace

// Two packs of one name without --force, started together: one wins, the other fails with a
// message, and the package is whole (it restores to one of the two trees).
TEST_F(CommandLine, ConcurrentPacksWithoutForceLoseNothing) {
    fs::create_directories(dir / "one");
    fs::create_directories(dir / "two");
    WriteFile(dir / "one/f", RandomBytes(4 << 20, 1));
    WriteFile(dir / "two/f", RandomBytes(4 << 20, 2));
    std::string pw = dir / "pw", pkg = dir / "same.pkg";
    pid_t a = Start({"--new-password-file", pw, "pack", "-o", pkg, dir / "one"});
    pid_t b = Start({"--new-password-file", pw, "pack", "-o", pkg, dir / "two"});
    int sa = WaitChild(a), sb = WaitChild(b);
    ASSERT_TRUE(WIFEXITED(sa) && WIFEXITED(sb));
    EXPECT_EQ(WEXITSTATUS(sa) + WEXITSTATUS(sb), 1) << "exactly one fails";
    auto restored = Decrypt("--to " + dir / "out " + pkg);
    ASSERT_EQ(restored.exit, 0) << restored.err;
    std::string got = fs::exists(dir / "out/one/f") ? ReadFile(dir / "out/one/f") : ReadFile(dir / "out/two/f");
    EXPECT_TRUE(got == RandomBytes(4 << 20, 1) || got == RandomBytes(4 << 20, 2));
    EXPECT_FALSE(AnyTempFile(dir.Path()));
}

// SIGTERM in the middle of a 256 MiB pack, of a restore and of the wipe that follows an
// encryption in place: the temporary file is gone and the process ends by the signal.
TEST_F(CommandLine, TemporaryFilesAreGoneAfterSigtermInPackRestoreAndWipe) {
    fs::create_directories(dir / "big");
    {
        std::ofstream sparse(dir / "big/f", std::ios::binary);
        sparse.seekp((256 << 20) - 1);
        sparse.put('x');
    }
    pid_t pack = Start({"--new-password-file", dir / "pw", "pack", "-o", dir / "big.pkg", dir / "big"});
    ASSERT_TRUE(WaitForTempFile(pack, dir.Path()));
    ::kill(pack, SIGTERM);
    int status = WaitChild(pack);
    EXPECT_TRUE(EndedBy(status, SIGTERM)) << status;
    EXPECT_FALSE(AnyTempFile(dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "big.pkg"));

    // The restore: a smaller package keeps the suite's time down; the kill comes as early.
    {
        std::ofstream sparse(dir / "big/f", std::ios::binary | std::ios::trunc);
        sparse.seekp((32 << 20) - 1);
        sparse.put('x');
    }
    ASSERT_EQ(Pack(dir / "big.pkg", dir / "big").exit, 0);
    fs::create_directories(dir / "out");
    pid_t restore = Start({"--package-password-file", dir / "pw", "decrypt", "--to", dir / "out", dir / "big.pkg"});
    ASSERT_TRUE(WaitForTempFile(restore, dir / "out"));
    ::kill(restore, SIGTERM);
    status = WaitChild(restore);
    EXPECT_TRUE(EndedBy(status, SIGTERM)) << status;
    EXPECT_FALSE(AnyTempFile(dir / "out"));

    // The wipe: the original is moved aside to a temporary name and overwritten there, once its
    // package is on the disk; the signal takes the half-overwritten file, the package stays.
    AddUsers({"alice"});
    WriteFile(dir / "alice.pw", "pw-alice\n");
    fs::remove_all(dir / "out");
    fs::rename(dir / "big/f", dir / "out");
    pid_t encrypt = Start({"--user", "alice", "--password-file", dir / "alice.pw", "encrypt", dir / "out"});
    bool aside = false;
    for (int i = 0; i < 3000 && !aside; ++i) {
        aside = !fs::exists(dir / "out") && AnyTempFile(dir.Path());
        if (!aside) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(aside) << "the original was never moved aside";
    ::kill(encrypt, SIGTERM);
    status = WaitChild(encrypt);
    EXPECT_TRUE(EndedBy(status, SIGTERM)) << status;
    EXPECT_FALSE(AnyTempFile(dir.Path()));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

// A wipe killed outright (no handler runs) leaves the half-overwritten file under its temporary
// name: wiping the name again says where its bytes are instead of "no such file", and wiping
// that name takes them.
TEST_F(CommandLine, AWipeKilledHalfwayIsNamedByWhatItLeft) {
    const std::string left = dir / ".secret.txt.varnex-AbC123";
    WriteFile(left, "not yet overwritten");
    WriteFile(dir / ".secret.txt.varnex-short", "another name");
    EXPECT_EQ(Varnex("wipe " + dir / "secret.txt").err,
              "varnex: " + dir / "secret.txt: no such file or folder; an interrupted run left " + left +
                  " in its place: wipe that\n");
    EXPECT_EQ(Varnex("wipe " + left).exit, 0);
    EXPECT_FALSE(fs::exists(left));
    // The root folder by any name is refused by name before anything is wiped; the suite folder
    // cannot be made, so nothing would be wiped even if the refusal failed.
    // Each file is named as it goes with --verbose, and one that keeps its content (another
    // name holds it) is named with the reason, besides the delete log.
    fs::create_directories(dir / "w/sub");
    WriteFile(dir / "w/a", "a");
    WriteFile(dir / "w/sub/b", "b");
    WriteFile(dir / "kept", "k");
    fs::create_hard_link(dir / "kept", dir / "w/linked");
    CliOutcome wiped = Varnex("--verbose wipe " + dir / "w");
    EXPECT_EQ(wiped.exit, 1);
    for (const std::string& line : {dir / "w/a\n", dir / "w/sub/b\n", "varnex: " + dir / "w/linked: "})
        EXPECT_NE(wiped.err.find(line), std::string::npos) << line << " in " << wiped.err;
    EXPECT_EQ(ReadFile(dir / "kept"), "k");
    fs::create_directory_symlink("/", dir / "up");
    for (const std::string& root : {std::string("/"), std::string("//"), dir / "up/"})
        EXPECT_TRUE(Ends(RunVarnex(dir, "/proc/no-suite", "wipe " + root), 1,
                         "varnex: " + root + ": refusing to wipe the root folder\n"));
}

// A file-size limit below the package's size fails the pack with a message naming it, as a full
// disk does: no death by signal, no temporary file, no package.
TEST_F(CommandLine, AFileSizeLimitFailsThePackWithAMessage) {
    WriteFile(dir / "big", std::string(4 << 20, 'b'));
    ASSERT_EQ(Varnex("init").exit, 0);  // the store itself stays within the limit
    CliOutcome limited =
        RunVarnex(dir, home, "--new-password-file " + dir / "pw pack -o " + dir / "big.pkg " + dir / "big",
                  "prlimit --fsize=1048576");
    EXPECT_TRUE(Ends(limited, 1, "varnex: " + dir / "big.pkg: ")) << limited.exit;
    EXPECT_FALSE(fs::exists(dir / "big.pkg"));
    EXPECT_FALSE(AnyTempFile(dir.Path()));
}

// Ctrl-C at the password prompt on a terminal: echo is off before the prompt shows; the
// command stops (exit 3) and the terminal has its echo back.
TEST_F(CommandLine, CtrlCAtThePasswordPromptRestoresEchoAndExitsThree) {
    int master = -1;
    pid_t child = StartOnTerminal({"pack", "-o", dir / "x.pkg", dir / "data"}, master);
    ASSERT_GE(child, 0);
    std::string seen;
    if (!ReadUntil(master, ": ", seen)) {
        ::kill(child, SIGKILL);
        WaitChild(child);
        ::close(master);
        FAIL() << "no password prompt: " << seen;
    }
    // The prompt is written only once echo is off: a fast typist is never echoed, and Ctrl-C
    // is now taken by the entry.
    termios during{};
    ASSERT_EQ(::tcgetattr(master, &during), 0);
    EXPECT_EQ(during.c_lflag & ECHO, 0u) << "echo is off when the prompt shows";
    ASSERT_EQ(::write(master, "\x03", 1), 1);
    int status = WaitChild(child, std::chrono::seconds(60));
    termios after{};
    ASSERT_EQ(::tcgetattr(master, &after), 0);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_NE(after.c_lflag & ECHO, 0u) << "echo is back";
    EXPECT_FALSE(fs::exists(dir / "x.pkg"));
}

// At a terminal a wrong package password may be typed again, three tries in all, and the
// progress line shows the bytes of the job; without a terminal there is no progress line.
TEST_F(CommandLine, WrongPasswordAtTheTerminalMayBeTypedAgainAndProgressShowsBytes) {
    WriteFile(dir / "data/docs/big.bin", RandomBytes(2 << 20, 4));
    auto packed = Pack(dir / "d.pkg", dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_EQ(packed.err.find('\r'), std::string::npos) << packed.err;
    int master = -1;
    pid_t child = StartOnTerminal({"decrypt", "--keep", "--to", dir / "out", dir / "d.pkg"}, master);
    ASSERT_GE(child, 0);
    std::string seen;
    for (const std::string typed : {"wrong-one\n", "wrong-two\n", "secret12\n"}) {
        if (!ReadUntil(master, ": ", seen)) break;
        ASSERT_EQ(::write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    }
    ReadUntil(master, "", seen);
    int status = WaitChild(child);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << seen;
    size_t wrong = 0;
    for (size_t at = seen.find("对不起，密码错!"); at != std::string::npos; at = seen.find("对不起，密码错!", at + 1))
        ++wrong;
    EXPECT_EQ(wrong, 2u) << seen;
    EXPECT_NE(seen.find("2.0 MiB/"), std::string::npos) << "bytes done of the job: " << seen;
    EXPECT_EQ(ReadFile(dir / "out/docs/big.bin"), RandomBytes(2 << 20, 4));
}

// --answers: a kind or word no question takes is a usage error; without answers an existing
// file is kept and the question still shown; cancel at the replace question stops the batch
// (exit 3); a question nobody answered is printed with the answer that was missing; a relative
// folder answer is taken from the current folder. That cancel stops the whole batch is
// deliberate (docs/differences.md).
TEST_F(CommandLine, AnswersAreValidatedAndCancelStops) {
    ASSERT_EQ(Pack(dir / "d.pkg", dir / "data/docs").exit, 0);
    EXPECT_TRUE(Ends(Decrypt("--to " + dir / "out " + dir / "d.pkg --answers replce=yes"), 2, "replce"));
    EXPECT_EQ(Decrypt("--answers replace=maybe --to " + dir / "out " + dir / "d.pkg").exit, 2);
    EXPECT_FALSE(fs::exists(dir / "out"));

    ASSERT_EQ(Decrypt("--keep --to " + dir / "out " + dir / "d.pkg").exit, 0);
    EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "alpha");
    EXPECT_TRUE(fs::is_directory(dir / "out/docs/empty"));
    WriteFile(dir / "out/docs/a.txt", "kept");
    auto kept = Decrypt("--keep --to " + dir / "out " + dir / "d.pkg");
    EXPECT_EQ(kept.exit, 0);
    EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "kept");
    EXPECT_NE(kept.err.find("已存在"), std::string::npos) << kept.err;
    auto cancelled = Decrypt("--answers replace=cancel --to " + dir / "out " + dir / "d.pkg");
    EXPECT_EQ(cancelled.exit, 3) << cancelled.err;
    auto unanswered = Decrypt("--answers yes-no=yes --to " + dir / "out " + dir / "d.pkg");
    EXPECT_NE(unanswered.err.find("--answers replace="), std::string::npos) << unanswered.err;
    EXPECT_NE(unanswered.err.find("varnex: " + dir / "d.pkg: "), std::string::npos) << "messages name the package";

    // A relative folder answer is a folder from the current one, not from the package's.
    const std::string relative = fs::relative(dir / "rel", fs::current_path()).string();
    ASSERT_EQ(Pack(dir / "e.pkg", dir / "data/docs").exit, 0);
    auto chosen = Decrypt("--keep --answers folder=" + relative + ",yes-no=yes " + dir / "e.pkg");
    EXPECT_EQ(chosen.exit, 0) << chosen.err;
    EXPECT_EQ(ReadFile(dir / "rel/docs/a.txt"), "alpha");
}

// A failed decrypt leaves no empty --to behind; without --to and without a terminal a
// package is restored beside itself; a read-only --to says why.
TEST_F(CommandLine, DecryptLeavesNoEmptyFolderAndRestoresBesideThePackageInScripts) {
    ASSERT_EQ(Pack(dir / "d.pkg", dir / "data/docs").exit, 0);
    WriteFile(dir / "wrong", "secret13\n");
    EXPECT_TRUE(
        Ends(Varnex("--package-password-file " + dir / "wrong" + " decrypt --to " + dir / "o1 " + dir / "d.pkg"), 1,
             "d.pkg: 对不起，密码错!"));
    EXPECT_EQ(Decrypt("--to " + dir / "o2 " + dir / "missing.pkg").exit, 1);
    EXPECT_TRUE(Ends(Varnex("decrypt --to " + dir / "o1 " + dir / "d.pkg"), 1,
                     "no terminal to ask for the package password (use --package-password-file)"));
    EXPECT_EQ(Decrypt("--to " + dir / "o3 " + dir / "pw").exit, 1);
    for (const char* o : {"o1", "o2", "o3"}) EXPECT_FALSE(fs::exists(dir / o)) << o;

    fs::create_directories(dir / "away");
    fs::rename(dir / "d.pkg", dir / "away/d.pkg");
    auto beside = Decrypt("--keep " + dir / "away/d.pkg");
    ASSERT_EQ(beside.exit, 0) << beside.err;
    EXPECT_EQ(ReadFile(dir / "away/docs/a.txt"), "alpha");
    // Answers without a folder among them restore beside the package too.
    fs::remove_all(dir / "away/docs");
    auto answered = Decrypt("--answers yes-no=yes --keep " + dir / "away/d.pkg");
    ASSERT_EQ(answered.exit, 0) << answered.err;
    EXPECT_EQ(ReadFile(dir / "away/docs/a.txt"), "alpha");

    if (::geteuid() != 0) {
        fs::create_directories(dir / "ro");
        fs::permissions(dir / "ro", fs::perms(0500));
        auto denied = Decrypt("--to " + dir / "ro " + dir / "away/d.pkg");
        EXPECT_NE(denied.err.find("Permission denied"), std::string::npos) << denied.err;
    }
}

// list shows names, sizes and times without the password (also as JSON); decrypt --test
// checks every CRC and the password and writes nothing; flipped content bytes and trailing
// bytes are reported as damage.
TEST_F(CommandLine, ListAndTestOnGoodAndDamagedPackages) {
    fs::create_directories(dir / "data/docs/sub");
    WriteFile(dir / "data/docs/sub/b.bin", RandomBytes(1000, 3));
    ASSERT_EQ(Pack(dir / "d.pkg", dir / "data/docs").exit, 0);
    auto listed = Varnex("list " + dir / "d.pkg");
    ASSERT_EQ(listed.exit, 0) << listed.err;
    EXPECT_NE(listed.out.find("docs/a.txt"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("1000"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find(" docs/\n"), listed.out.rfind(" docs/\n")) << "once, also after its subfolder";
    auto json = Varnex("list --json " + dir / "d.pkg");
    ASSERT_EQ(json.exit, 0);
    EXPECT_NE(json.out.find("\"path\": \"docs/sub/b.bin\", \"size\": 1000"), std::string::npos) << json.out;
    // A file named beside its folder is packed once, with the folder.
    ASSERT_EQ(Pack(dir / "twice.pkg", dir / "data/docs/sub/b.bin " + dir / "data/docs").exit, 0);
    const std::string twice = Varnex("list " + dir / "twice.pkg").out;
    EXPECT_EQ(twice.find("sub/b.bin"), twice.rfind("sub/b.bin")) << twice;

    auto sound = Decrypt("--test " + dir / "d.pkg");
    EXPECT_EQ(sound.exit, 0) << sound.err;
    EXPECT_FALSE(fs::exists(dir / "docs"));
    WriteFile(dir / "wrong", "secret13\n");
    EXPECT_EQ(Varnex("--package-password-file " + dir / "wrong" + " decrypt --test " + dir / "d.pkg").exit, 1);

    std::string bytes = ReadFile(dir / "d.pkg");
    WriteFile(dir / "trailing.pkg", bytes + "x");
    EXPECT_TRUE(Ends(Decrypt("--test " + dir / "trailing.pkg"), 1, "文件结构错."));
    // The restore gives the same verdict: the files come back, the package stays.
    EXPECT_TRUE(Ends(Decrypt("--to " + dir / "t " + dir / "trailing.pkg"), 1, "文件结构错."));
    EXPECT_EQ(ReadFile(dir / "t/docs/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(dir / "trailing.pkg"), bytes + "x");
    bytes[bytes.size() - 3] ^= 0x40;  // inside the last content
    WriteFile(dir / "flipped.pkg", bytes);
    EXPECT_TRUE(Ends(Decrypt("--test " + dir / "flipped.pkg"), 1, "CRC"));
    EXPECT_EQ(Varnex("list " + dir / "pw").exit, 1);

    // A name too long for the folder beside the package fails the check as it fails the restore
    // there.
    const std::string name(200, 'n');
    WriteFile(dir / ("data/" + name), "long");
    const std::string deep = dir / std::string(60, 'd');
    fs::create_directories(deep);
    ASSERT_EQ(Pack(deep + "/long.pkg", dir / ("data/" + name)).exit, 0);
    EXPECT_TRUE(Ends(Decrypt("--test " + deep + "/long.pkg"), 1, "文件结构错."));
    EXPECT_TRUE(Ends(Decrypt(deep + "/long.pkg"), 1, "文件结构错."));
    EXPECT_TRUE(fs::exists(deep + "/long.pkg"));
}

// The small usage rules: an empty --home, a slip in a name, a package named twice, an unknown cipher, a password
// too short, a password file that is a folder, varnex without a command, every command's and
// sub-command's --help, a package written to standard output and not replaced without --force,
// a suite folder open to others tightened when it is opened.
TEST_F(CommandLine, SmallUsageRules) {
    auto bare = Varnex("");
    EXPECT_EQ(bare.exit, 2);
    EXPECT_NE(bare.err.find("usage:"), std::string::npos);
    EXPECT_TRUE(bare.out.empty());
    EXPECT_EQ(Varnex("--home '' init").exit, 2);
    // A slip of one or two letters names what was meant; anything further off names nothing.
    const struct {
        const char* args;
        const char* said;
    } slips[] = {{"encrpyt x", "did you mean 'encrypt'?"},
                 {"user ad x", "did you mean 'add'?"},
                 {"decrypt --kepp x", "did you mean --keep?"},
                 {"decrypt --pasword-file=f x", "did you mean --password-file?"},
                 {"frobnicate", "unknown command 'frobnicate' (see"},
                 {"--answers confrm=1 init", "file, confirm)"}};
    for (const auto& slip : slips) EXPECT_TRUE(Ends(Varnex(slip.args), 2, slip.said)) << slip.args;
    // Usage slips are said as such before any path is looked at.
    const struct {
        std::string args;
        const char* said;
    } usage[] = {{"--package-password-file - decrypt --test -", "standard input (-) is named twice"},
                 {"props --set +x " + dir / "missing", "--set takes +r or -r"},
                 {"demo extra", "demo takes no arguments"}};
    for (const auto& u : usage) EXPECT_TRUE(Ends(Varnex(u.args), 2, u.said)) << u.args;
    EXPECT_EQ(Pack(dir / "a.pkg", dir / "data", "-o " + dir / "b.pkg").exit, 2);
    EXPECT_EQ(Varnex("pack -o " + dir / "x.pkg --cipher 7 " + dir / "data").exit, 2);
    WriteFile(dir / "short", "abc\n");
    EXPECT_EQ(Varnex("--new-password-file " + dir / "short" + " pack -o " + dir / "s.pkg " + dir / "data").exit, 1);
    EXPECT_FALSE(fs::exists(dir / "s.pkg"));
    EXPECT_TRUE(
        Ends(Varnex("--package-password-file " + dir / "data" + " decrypt " + dir / "x.pkg"), 1, "cannot read"));
    auto help = Varnex("pack --help");
    EXPECT_EQ(help.exit, 0);
    for (const char* option : {"--base", "--force", "--cipher", "46", "6 characters"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(Varnex("decrypt --help").out.find("--direct"), std::string::npos);
    auto sub = Varnex("user add --help");
    EXPECT_EQ(sub.exit, 0);
    EXPECT_EQ(sub.out.rfind("usage: varnex user add ID", 0), 0u) << sub.out;
    EXPECT_NE(sub.out.find("--device DIR"), std::string::npos) << sub.out;
    EXPECT_NE(Varnex("cert --help").out.find("cert export NAME [FILE] [--der] [--force]"), std::string::npos);

    auto piped = Pack("-", dir / "data/docs");
    ASSERT_EQ(piped.exit, 0) << piped.err;
    WriteFile(dir / "piped.pkg", piped.out);
    EXPECT_EQ(Decrypt("--test " + dir / "piped.pkg").exit, 0);
    EXPECT_EQ(Pack(dir / "piped.pkg", dir / "data").exit, 1) << "an existing package is not replaced without --force";
    const std::string tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : home + "/tmp";
    for (const auto& e : fs::directory_iterator(tmp))
        EXPECT_EQ(e.path().filename().string().find(".stdout-"), std::string::npos) << "the package on its way is gone";

    fs::create_directories(dir / "loose");
    fs::permissions(dir / "loose", fs::perms(0755));
    ASSERT_EQ(RunVarnex(dir, dir / "loose", "init").exit, 0);
    EXPECT_EQ(fs::status(dir / "loose").permissions(), fs::perms(0700));
}

// A FIFO given where a package is read is refused by name at once, by every reader; a batch goes
// on with the next package. (Each run is bounded: a reader that waits for a writer fails the test
// instead of stalling the suite.)
TEST_F(CommandLine, FifoGivenAsAPackageIsRefusedByNameAndTheBatchGoesOn) {
    AddUsers({"alice"});
    const std::string fifo = dir / "in.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& command :
         std::vector<std::string>{"info", "list", "original", "decrypt --keep --to " + dir / "o", "mail-unpack"}) {
        CliOutcome o = As("alice", command + " " + fifo, "/dev/null", "timeout 60");
        EXPECT_EQ(o.exit, 1) << command << ": " << o.err;
        EXPECT_NE(o.err.find(fifo + ": "), std::string::npos) << command << ": " << o.err;
    }
    ASSERT_EQ(Pack(dir / "d.pkg", dir / "data/docs").exit, 0);
    CliOutcome batch = Decrypt("--keep --to " + dir / "out " + fifo + " " + dir / "d.pkg");
    EXPECT_EQ(batch.exit, 1);
    EXPECT_NE(batch.err.find("varnex: " + fifo + ": 打开文件失败."), std::string::npos) << batch.err;
    EXPECT_NE(batch.err.find("Not a regular file"), std::string::npos) << batch.err;
    EXPECT_EQ(ReadFile(dir / "out/docs/a.txt"), "alpha");
}
