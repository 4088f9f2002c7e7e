// The store's administration commands, run as a script runs them: the built program,
// passwords from files and the environment, no terminal.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace {

using Outcome = CliOutcome;

class LogonCommandsTest : public ::testing::Test {
protected:
    // Runs varnex with the suite folder of this test; env is put before the program.
    Outcome Varnex(const std::string& args, const std::string& env = {}) { return RunVarnex(dir_, home_, args, env); }

    TempDir dir_;
    std::string home_ = dir_ / "fresh/suite";
};

TEST_F(LogonCommandsTest, UserAddOnFreshFolderWorksNonInteractively) {
    WriteFile(dir_ / "pw", "first line\nsecond line\n");
    Outcome added =
        Varnex("user add alice --name Alice --email alice@example.org --new-password-file '" + dir_ / "pw" + "'");
    ASSERT_EQ(added.exit, 0) << added.err;
    EXPECT_EQ(added.err, "");

    LogonStore store;
    ASSERT_TRUE(store.Open(home_));
    LogonKeyRecord key;
    LogonUserRecord user;
    ASSERT_EQ(store.GetUserRecords(key, user, "alice"), 1);
    EXPECT_EQ(key.keyText, "Alice<alice@example.org>");
    EXPECT_EQ(store.CheckPassword("alice", "first line", 10, 0), 1);
    store.Close();

    // Refusals are one line each and change nothing.
    for (const std::string& args :
         {"user add ALICE --new-password-file '" + dir_ / "pw" + "'",
          "user add " + std::string(kLogonCertNameCap, 'x') + " --new-password-file '" + dir_ / "pw" + "'",
          "user add bob --new-password-file '" + dir_ / "missing" + "'"}) {
        Outcome refused = Varnex(args);
        EXPECT_EQ(refused.exit, 1) << args;
        EXPECT_EQ(refused.err.rfind("varnex: ", 0), 0u) << refused.err;
        EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
    }
    EXPECT_EQ(Varnex("user").exit, 2);
    EXPECT_EQ(Varnex("user add").exit, 2);
    Outcome list = Varnex("user list");
    EXPECT_EQ(list.exit, 0);
    EXPECT_NE(list.out.find("alice"), std::string::npos);
    EXPECT_EQ(list.out.find("bob"), std::string::npos);
}

TEST_F(LogonCommandsTest, LogonUserIsTheOnlyOneElseLastUser) {
    WriteFile(dir_ / "pa", "pass-a");
    WriteFile(dir_ / "pb", "pass-b");
    WriteFile(dir_ / "new", "pass-new");
    ASSERT_EQ(Varnex("user add ann --new-password-file '" + dir_ / "pa" + "'").exit, 0);
    // With one user, that user; the old password from the environment.
    Outcome own = Varnex("--new-password-file '" + dir_ / "new" + "' user passwd", "VARNEX_PASSWORD=pass-a");
    ASSERT_EQ(own.exit, 0) << own.err;

    ASSERT_EQ(Varnex("user add ben --new-password-file '" + dir_ / "pb" + "'").exit, 0);
    Outcome which = Varnex("--new-password-file '" + dir_ / "new" + "' user passwd", "VARNEX_PASSWORD=pass-b");
    EXPECT_EQ(which.exit, 1);
    EXPECT_NE(which.err.find("--user"), std::string::npos) << which.err;

    ASSERT_EQ(Varnex("option set Option LastUser ben").exit, 0);
    Outcome wrong = Varnex("--new-password-file '" + dir_ / "new" + "' user passwd", "VARNEX_PASSWORD=pass-a");
    EXPECT_EQ(wrong.exit, 1);
    EXPECT_NE(wrong.err.find("wrong password"), std::string::npos) << wrong.err;
    Outcome last =
        Varnex("--password-file '" + dir_ / "pb" + "' --new-password-file '" + dir_ / "new" + "' user passwd");
    EXPECT_EQ(last.exit, 0) << last.err;

    LogonStore store;
    ASSERT_TRUE(store.Open(home_));
    EXPECT_TRUE(store.LogOn("ann", "pass-new"));
    EXPECT_TRUE(store.LogOn("ben", "pass-new"));
}

TEST_F(LogonCommandsTest, GroupsSharesAndCertificatesFromTheCommandLine) {
    WriteFile(dir_ / "pw", "pw");
    ASSERT_EQ(Varnex("user add cat --name Cat --email cat@x.org --new-password-file '" + dir_ / "pw" + "'").exit, 0);
    ASSERT_EQ(Varnex("group add team").exit, 0);
    Outcome member = Varnex("group member team cat");
    ASSERT_EQ(member.exit, 0);
    EXPECT_EQ(member.err, "varnex: group team: added cat\n") << "a silent command says what it did";
    EXPECT_EQ(Varnex("group member team dog").exit, 1);
    ASSERT_EQ(Varnex("share grant '" + dir_ / "shared/" + "' cat @team").exit, 0);
    EXPECT_EQ(Varnex("share grant '" + dir_ / "shared" + "' @nobody").exit, 1);

    Outcome exported = Varnex("cert export cat '" + dir_ / "cat.pem" + "'");
    ASSERT_EQ(exported.exit, 0) << exported.err;
    // An existing file is not overwritten without --force.
    WriteFile(dir_ / "other.txt", "unrelated");
    Outcome refused = Varnex("cert export cat '" + dir_ / "other.txt" + "'");
    EXPECT_EQ(refused.exit, 1);
    EXPECT_EQ(ReadFile(dir_ / "other.txt"), "unrelated");
    EXPECT_EQ(Varnex("cert export cat '" + dir_ / "other.txt" + "' --force").exit, 0);
    EXPECT_EQ(ReadFile(dir_ / "other.txt"), ReadFile(dir_ / "cat.pem"));
    WriteFile(dir_ / "junk.pem", "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n");
    Outcome junk = Varnex("cert import '" + dir_ / "junk.pem" + "' --name junk");
    EXPECT_EQ(junk.exit, 1);
    EXPECT_NE(junk.err.find("no readable X.509 certificate"), std::string::npos) << junk.err;

    LogonStore store;
    ASSERT_TRUE(store.Open(home_));
    Insure_Decrypt_Men share;
    ASSERT_EQ(store.ReadDecryptMen("cat", dir_ / "shared", share), 1);
    ASSERT_EQ(share.entries.size(), 2u);
    EXPECT_EQ(share.entries[1].type, kDecryptManGroup);
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store.ListCerts(certs));
    EXPECT_EQ(certs.size(), 1u);
    LogonCertFileRecord file;
    ASSERT_EQ(store.ReadCertFile(dir_ / "cat.pem", file), 1);
    EXPECT_EQ(file.email, "cat@x.org");
}

}  // namespace
