// varnex mail-pack and mail-unpack as a script runs them: packed for two recipients, unpacked by
// each (from a file and from standard input), refused for a third.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace {

class MailCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home_));
        for (const char* user : {"alice", "bob", "carol", "dave"})
            ASSERT_NE(store.AddUser(user, user, std::string(user) + "@example.org", "pw-" + std::string(user)), 0);
    }
    // Runs varnex as `user`; `input` (a file) becomes standard input when given.
    CliOutcome As(const std::string& user, const std::string& args, const std::string& input = "/dev/null",
                  const std::string& env = {}) {
        std::string cmd = "env -u VARNEX_HOME VARNEX_PASSWORD=pw-" + user + " " + env +
                          " '" VARNEX_CLI_PATH "' --home '" + home_ + "' --user " + user + " " + args + " <'" + input +
                          "' >'" + dir_ / "out" + "' 2>'" + dir_ / "err" + "'";
        int status = std::system(cmd.c_str());
        CliOutcome o;
        o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = ReadFile(dir_ / "out");
        o.err = ReadFile(dir_ / "err");
        return o;
    }

    TempDir dir_;
    std::string home_ = dir_ / "suite";
};

}  // namespace

TEST_F(MailCommandsTest, PackedForTwoUnpackedByEachRefusedForAThird) {
    WriteFile(dir_ / "note.txt", "for bob and carol");
    CliOutcome packed = As("alice", "mail-pack --encrypt --sign --to bob,carol '" + dir_ / "note.txt" + "'");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    const std::string package = packed.out.substr(0, packed.out.find('\n'));
    ASSERT_EQ(package.rfind(home_ + "/mail/", 0), 0u) << package;

    CliOutcome bob = As("bob", "mail-unpack '" + package + "'");
    ASSERT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(bob.out, home_ + "/mail/note.txt\nsigned by alice<alice@example.org>: valid\n");
    EXPECT_EQ(ReadFile(home_ + "/mail/note.txt"), "for bob and carol");

    CliOutcome carol = As("carol", "mail-unpack --json -", package);
    ASSERT_EQ(carol.exit, 0) << carol.err;
    EXPECT_NE(carol.out.find("\"damaged\": false"), std::string::npos) << carol.out;
    EXPECT_NE(carol.out.find("\"signature\": \"valid\""), std::string::npos) << carol.out;

    CliOutcome dave = As("dave", "mail-unpack -", package);
    EXPECT_EQ(dave.exit, 1);
    EXPECT_EQ(dave.err, "varnex: 对不起,您没有解密此邮件的权限.\n");
    EXPECT_EQ(dave.out, "");

    // Sent: the package goes to the mail module as the one attachment, the recipients as To.
    std::filesystem::create_directories(dir_ / "modules");
    std::filesystem::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/mapi_recorder.so",
                                    dir_ / "modules/mapi.so");
    CliOutcome sent = As("alice", "mail-pack --sign --to bob,carol --send '" + dir_ / "note.txt" + "'", "/dev/null",
                         "VARNEX_MODULE_PATH='" + dir_ / "modules" + "' VARNEX_MAPI_RECORD='" + dir_ / "record" + "'");
    ASSERT_EQ(sent.exit, 0) << sent.err;
    const std::string second = sent.out.substr(0, sent.out.find('\n'));
    const std::string record = ReadFile(dir_ / "record");
    EXPECT_NE(record.find("to=bob@example.org\nto=carol@example.org\n"), std::string::npos) << record;
    EXPECT_NE(record.find("|" + second + "|" + std::filesystem::path(second).filename().string()), std::string::npos)
        << record;

    CliOutcome nobody = As("alice", "mail-pack --encrypt --to nobody '" + dir_ / "note.txt" + "'");
    EXPECT_EQ(nobody.exit, 1);
    EXPECT_EQ(nobody.out, "");
}
