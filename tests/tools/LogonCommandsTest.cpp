// The store's administration commands, run as a script runs them: the built program,
// passwords from files and the environment, no terminal.

#include <filesystem>
#include <string>
#include <vector>

#include "CliTest.h"
#include "logon/LogonStore.h"

namespace {

namespace fs = std::filesystem;

class LogonCommandsTest : public CliTest {
protected:
    // The suite folder's parent does not exist yet: the first command makes both.
    LogonCommandsTest() { home = dir / "fresh/suite"; }
};

TEST_F(LogonCommandsTest, UserAddOnFreshFolderWorksNonInteractively) {
    WriteFile(dir / "pw", "first line\nsecond line\n");
    CliOutcome added =
        Varnex("user add alice --name Alice --email alice@example.org --new-password-file '" + dir / "pw" + "'");
    ASSERT_EQ(added.exit, 0) << added.err;
    EXPECT_EQ(added.err, "");

    LogonStore store;
    ASSERT_TRUE(store.Open(home));
    LogonKeyRecord key;
    LogonUserRecord user;
    ASSERT_EQ(store.GetUserRecords(key, user, "alice"), 1);
    EXPECT_EQ(key.keyText, "Alice<alice@example.org>");
    EXPECT_EQ(store.CheckPassword("alice", "first line", 10, 0), 1);
    store.Close();

    // Refusals are one line each and change nothing.
    WriteFile(dir / "short", "12345\n");
    EXPECT_TRUE(Ends(Varnex("user add bob --new-password-file '" + dir / "short" + "'"), 1,
                     "varnex: the password needs at least 6 characters\n"));
    for (const std::string& args :
         {"user add ALICE --new-password-file '" + dir / "pw" + "'",
          "user add " + std::string(kLogonCertNameRoom, 'x') + " --new-password-file '" + dir / "pw" + "'",
          "user add bob --new-password-file '" + dir / "missing" + "'"}) {
        CliOutcome refused = Varnex(args);
        EXPECT_EQ(refused.exit, 1) << args;
        EXPECT_EQ(refused.err.rfind("varnex: ", 0), 0u) << refused.err;
        EXPECT_EQ(refused.err.find('\n'), refused.err.size() - 1) << refused.err;
    }
    EXPECT_EQ(Varnex("user").exit, 2);
    EXPECT_EQ(Varnex("user add").exit, 2);
    CliOutcome list = Varnex("user list");
    EXPECT_EQ(list.exit, 0);
    EXPECT_NE(list.out.find("alice"), std::string::npos);
    EXPECT_EQ(list.out.find("bob"), std::string::npos);
}

// The private key goes with a key-device user: its file on the device is erased, and a device
// that is not there is named with the file that still opens.
TEST_F(LogonCommandsTest, UserRemoveErasesTheKeyFileOnTheDevice) {
    WriteFile(dir / "pw", "pass-dev\n");
    for (const char* id : {"dev", "gone"}) {
        ASSERT_EQ(Varnex(std::string("user add ") + id + " --device '" + dir / "token" + "' --new-password-file '" +
                         dir / "pw" + "'")
                      .exit,
                  0);
    }
    const std::string key = ReadFile(dir / "token/dev.p8");
    ASSERT_FALSE(key.empty());
    CliOutcome removed = Varnex("user remove dev --password-file '" + dir / "pw" + "'");
    EXPECT_EQ(removed.exit, 0) << removed.err;
    EXPECT_EQ(removed.err, "");
    EXPECT_FALSE(fs::exists(dir / "token/dev.p8"));

    fs::rename(dir / "token", dir / "away");
    CliOutcome absent = Varnex("user remove gone --force");
    EXPECT_EQ(absent.exit, 0);
    EXPECT_EQ(absent.err, "varnex: the key file " + dir / "token/gone.p8" +
                              " was not erased (the key device is not present); it still opens with the user's "
                              "password: delete it\n");
}

TEST_F(LogonCommandsTest, LogonUserIsTheOnlyOneElseLastUser) {
    WriteFile(dir / "pa", "pass-a");
    WriteFile(dir / "pb", "pass-b");
    WriteFile(dir / "new", "pass-new");
    ASSERT_EQ(Varnex("user add ann --new-password-file '" + dir / "pa" + "'").exit, 0);
    // With one user, that user; the old password from the environment.
    CliOutcome own = Varnex("--new-password-file '" + dir / "new" + "' user passwd", "VARNEX_PASSWORD=pass-a");
    ASSERT_EQ(own.exit, 0) << own.err;

    ASSERT_EQ(Varnex("user add ben --new-password-file '" + dir / "pb" + "'").exit, 0);
    EXPECT_TRUE(
        Ends(Varnex("--new-password-file '" + dir / "new" + "' user passwd", "VARNEX_PASSWORD=pass-b"), 1, "--user"));

    EXPECT_TRUE(Ends(Varnex("user passwd carol", "VARNEX_PASSWORD=pass-a"), 1, "no user 'carol' in this store\n"));
    ASSERT_EQ(Varnex("option set Option LastUser BEN").exit, 0);  // user IDs ignore case
    EXPECT_TRUE(Ends(Varnex("--new-password-file '" + dir / "new" + "' user passwd", "VARNEX_PASSWORD=pass-a"), 1,
                     "wrong password"));
    CliOutcome last =
        Varnex("--password-file '" + dir / "pb" + "' --new-password-file '" + dir / "new" + "' user passwd");
    EXPECT_EQ(last.exit, 0) << last.err;

    LogonStore store;
    ASSERT_TRUE(store.Open(home));
    EXPECT_TRUE(store.LogOn("ann", "pass-new"));
    EXPECT_TRUE(store.LogOn("ben", "pass-new"));
}

TEST_F(LogonCommandsTest, GroupsSharesAndCertificatesFromTheCommandLine) {
    WriteFile(dir / "pw", "pw-cat");
    ASSERT_EQ(Varnex("user add cat --name Cat --email cat@x.org --new-password-file '" + dir / "pw" + "'").exit, 0);
    ASSERT_EQ(Varnex("group add team").exit, 0);
    CliOutcome member = Varnex("group member team cat");
    ASSERT_EQ(member.exit, 0);
    EXPECT_EQ(member.err, "varnex: group team: added cat\n") << "a silent command says what it did";
    EXPECT_EQ(Varnex("group member team dog").exit, 1);
    CliOutcome twice = Varnex("group member team cat CAT cat");
    EXPECT_EQ(twice.exit, 0);
    EXPECT_EQ(twice.err, "varnex: group team: already members: cat\n") << "a member named again is said once to be one";
    // A group with a comma in its name could never be named in a list of recipients.
    CliOutcome comma = Varnex("group add a,b");
    EXPECT_EQ(comma.exit, 1);
    EXPECT_EQ(comma.err, "varnex: a group name must not hold ',': lists of recipients are split at commas\n");
    ASSERT_EQ(Varnex("share grant '" + dir / "shared/" + "' cat @team").exit, 0);
    EXPECT_EQ(Varnex("share grant '" + dir / "shared" + "' @nobody").exit, 1);

    CliOutcome exported = Varnex("cert export cat '" + dir / "cat.pem" + "'");
    ASSERT_EQ(exported.exit, 0) << exported.err;
    // An existing file is not overwritten without --force.
    WriteFile(dir / "other.txt", "unrelated");
    CliOutcome refused = Varnex("cert export cat '" + dir / "other.txt" + "'");
    EXPECT_EQ(refused.exit, 1);
    EXPECT_EQ(ReadFile(dir / "other.txt"), "unrelated");
    EXPECT_EQ(Varnex("cert export cat '" + dir / "other.txt" + "' --force").exit, 0);
    EXPECT_EQ(ReadFile(dir / "other.txt"), ReadFile(dir / "cat.pem"));
    WriteFile(dir / "junk.pem", "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n");
    EXPECT_TRUE(Ends(Varnex("cert import '" + dir / "junk.pem" + "' --name junk"), 1, "no readable X.509 certificate"));

    LogonStore store;
    ASSERT_TRUE(store.Open(home));
    Insure_Decrypt_Men share;
    ASSERT_EQ(store.ReadDecryptMen("cat", dir / "shared", share), 1);
    ASSERT_EQ(share.entries.size(), 2u);
    EXPECT_EQ(share.entries[1].type, kDecryptManGroup);
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store.ListCerts(certs));
    EXPECT_EQ(certs.size(), 1u);
    LogonCertFileRecord file;
    ASSERT_EQ(store.ReadCertFile(dir / "cat.pem", file), 1);
    EXPECT_EQ(file.email, "cat@x.org");
}

}  // namespace

// Only settings the suite reads are stored, with values it reads as meant: a name it does not
// read, or a value it would read as something else, is a usage error that leaves the store as
// it was.
TEST_F(LogonCommandsTest, OptionSetStoresOnlySettingsTheSuiteReadsAsMeant) {
    struct Row {
        const char* args;
        int exit;
        const char* said;  // the end of standard error
    } const rows[] = {
        {"option set option signid 8", 0, "option SIgnID of section Option set to '8'\n"},
        {"option set Option RandFileName false", 0, "option RandFileName of section Option set to 'false'\n"},
        {"option set Option RandFileName yes", 2,
         "'yes' is no value of option RandFileName of section Option (one of: TRUE, FALSE)\n"},
        {"option set Option SIgnID 9", 2, "(one of: 8, 42)\n"},
        {"option set MAIL MAPI on", 2, "(one of: 0, 1)\n"},
        {"option set Option RandFileNme TRUE", 2,
         "no setting RandFileNme in section Option; did you mean RandFileName?\n"},
        {"option set Optoin SIgnID 8", 2, "no section Optoin holds settings; did you mean Option?\n"},
        {"option set Colours Background red", 2, "no section Colours holds settings\n"},
    };
    for (const Row& row : rows) EXPECT_TRUE(Ends(Varnex(row.args), row.exit, row.said)) << row.args;
    CliOutcome got = Varnex("option get OPTION SIGNID");
    EXPECT_EQ(got.exit, 0) << got.err;
    EXPECT_EQ(got.out, "8\n");
    EXPECT_EQ(Varnex("option get Option RandFileName").out, "false\n");
    LogonStore store;
    ASSERT_TRUE(store.Open(home));
    EXPECT_EQ(store.GetOption("MAIL", "MAPI", "unset"), "unset");
}
