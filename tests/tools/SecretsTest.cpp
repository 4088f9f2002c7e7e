// Secrets as an attacker looks for them around a running program: in the environment and
// arguments of the programs it starts, in a core dump of a stopped run, in attachment copies
// left for the mail program, in password files others can read.

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CliTest.h"

namespace fs = std::filesystem;

namespace {

class Secrets : public CliTest {
protected:
    Secrets() {
        AddUsers({"alice"});
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "run");
        fs::permissions(dir / "run", fs::perms::owner_all, fs::perm_options::replace);
        WriteFile(dir / "report.txt", "quarterly figures");
    }

    // A stand-in for xdg-email that records its arguments, its environment and the modes of
    // the attachment copies it was given, then runs `more`.
    void StandIn(const std::string& more = {}) {
        const std::string script = dir / "bin/xdg-email";
        WriteFile(script,
                  "#!/bin/sh\n"
                  "out='" +
                      dir / "record" +
                      "'\n"
                      "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$out\"\n"
                      "env >> \"$out\"\n"
                      "prev=\n"
                      "for a in \"$@\"; do\n"
                      "  if [ \"$prev\" = --attach ]; then stat -c 'mode %a %n' \"$a\" \"$(dirname \"$a\")\" >> "
                      "\"$out\"; fi\n"
                      "  prev=$a\n"
                      "done\n" +
                      more + "\n");
        fs::permissions(script, fs::perms::owner_all, fs::perm_options::replace);
    }

    // `sign --mail` as alice, password in the environment, on a desktop with the stand-in.
    std::string SignAndMail(const std::string& prefix = {}) {
        return prefix + "env -u VARNEX_HOME VARNEX_PASSWORD=pw-alice DISPLAY=:99 XDG_RUNTIME_DIR='" + dir / "run" +
               "' PATH='" + dir / "bin" + "':/usr/bin:/bin '" VARNEX_CLI_PATH "' --home '" + home + "' sign --mail '" +
               dir / "report.txt" + "' </dev/null >'" + dir / "cli.out" + "' 2>'" + dir / "cli.err" + "'";
    }

    std::vector<std::string> FilesBelow(const std::string& folder) {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (!it->is_directory()) out.push_back(it->path().string());
        return out;
    }
};

}  // namespace

// The mail program started by the engine sees neither the logon password nor the variable that
// carried it; its attachment copies are owner-only, in the session's runtime folder, gone once
// their time is up; nothing readable stays in the outbox, and the flagged signature file is
// not kept beside the copy it was moved to.
TEST_F(Secrets, MailProgramGetsNoPasswordAndNoCopyStaysInTheOutbox) {
    StandIn();
    ASSERT_EQ(std::system(SignAndMail().c_str()), 0) << ReadFile(dir / "cli.err");
    const std::string record = ReadFile(dir / "record");
    ASSERT_NE(record.find("[--attach]"), std::string::npos) << record;
    EXPECT_EQ(record.find("VARNEX_PASSWORD"), std::string::npos) << record;
    EXPECT_EQ(record.find("pw-alice"), std::string::npos) << record;
    EXPECT_EQ(record.find("mode 644"), std::string::npos) << record;
    EXPECT_EQ(record.find("mode 755"), std::string::npos) << record;
    EXPECT_NE(record.find("mode 600 " + dir / "run/varnex-mail/"), std::string::npos) << record;
    EXPECT_NE(record.find("mode 700 " + dir / "run/varnex-mail/"), std::string::npos) << record;

    EXPECT_TRUE(FilesBelow(home + "/mail/outbox").empty()) << "no plaintext copy under the outbox";
    EXPECT_FALSE(fs::exists(dir / "report.txt.idi")) << "flagged for deletion";
    const std::vector<std::string> copies = FilesBelow(dir / "run/varnex-mail");
    ASSERT_EQ(copies.size(), 3u) << "the file, its signature file, the certificate";
    EXPECT_EQ(ReadFile(copies[0]).empty(), false);

    // An hour on, the next command that opens the store removes them.
    auto handOff = *fs::directory_iterator(dir / "run/varnex-mail");
    fs::last_write_time(handOff.path(), fs::file_time_type::clock::now() - std::chrono::minutes(61));
    ASSERT_EQ(Varnex("user list", "XDG_RUNTIME_DIR='" + dir / "run" + "'").exit, 0);
    EXPECT_TRUE(FilesBelow(dir / "run/varnex-mail").empty());
}

// A run stopped by a signal that would dump core leaves no core file, so neither the password
// nor the private key's numbers can be found in one.
TEST_F(Secrets, AbortedRunDumpsNoCore) {
    const std::string pattern = ReadFile("/proc/sys/kernel/core_pattern");
    if (pattern.empty() || pattern[0] == '|') GTEST_SKIP() << "core files go to a program here: " << pattern;
    StandIn("kill -ABRT $PPID; sleep 1");
    fs::create_directories(dir / "cwd");
    std::system(SignAndMail("cd '" + dir / "cwd" + "' && ulimit -c unlimited && ").c_str());
    const std::vector<std::string> left = FilesBelow(dir / "cwd");
    for (const std::string& core : left) {
        const std::string bytes = ReadFile(core);
        EXPECT_EQ(bytes.find("pw-alice"), std::string::npos) << core << " holds the password";
    }
    EXPECT_TRUE(left.empty()) << left.front();
}

// A password file others can read is used with a warning; one only its owner reaches is not,
// even when its own mode would let others read it.
TEST_F(Secrets, PasswordFileReadableByOthersIsWarned) {
    fs::create_directories(dir / "open");
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    WriteFile(dir / "open/pw", "pw-alice\n");
    fs::permissions(dir / "open/pw", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read,
                    fs::perm_options::replace);
    CliOutcome warned = Varnex("--password-file '" + dir / "open/pw" + "' user passwd alice --new-password-file '" +
                               dir / "open/pw" + "'");
    EXPECT_EQ(warned.exit, 0) << warned.err;
    EXPECT_EQ(warned.err, "varnex: warning: the password file " + dir / "open/pw" +
                              " can be read by others (mode 0604); chmod 600 " + dir / "open/pw" + "\n");

    fs::permissions(dir / "open", fs::perms::owner_all, fs::perm_options::replace);
    CliOutcome quiet = Varnex("--password-file '" + dir / "open/pw" + "' user passwd alice --new-password-file '" +
                              dir / "open/pw" + "'");
    EXPECT_EQ(quiet.exit, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
}
