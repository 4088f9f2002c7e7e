// varnex mail-pack and mail-unpack as a script runs them: packed for two recipients, unpacked by
// each (from a file and from standard input), refused for a third.

#include <filesystem>

#include "CliTest.h"

using MailCommands = CliTest;

TEST_F(MailCommands, PackedForTwoUnpackedByEachRefusedForAThird) {
    AddUsers({"alice", "bob", "carol", "dave"});
    WriteFile(dir / "note.txt", "for bob and carol");
    CliOutcome packed = As("alice", "mail-pack --encrypt --sign --to bob,carol '" + dir / "note.txt" + "'");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    const std::string package = packed.out.substr(0, packed.out.find('\n'));
    ASSERT_EQ(package.rfind(home + "/mail/", 0), 0u) << package;

    CliOutcome bob = As("bob", "mail-unpack '" + package + "'");
    ASSERT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(bob.out, home + "/mail/note.txt\nsigned by Alice<alice@example.org>: valid\n");
    EXPECT_EQ(ReadFile(home + "/mail/note.txt"), "for bob and carol");

    CliOutcome carol = As("carol", "mail-unpack --json -", package);
    ASSERT_EQ(carol.exit, 0) << carol.err;
    EXPECT_NE(carol.out.find("\"damaged\": false"), std::string::npos) << carol.out;
    EXPECT_NE(carol.out.find("\"signature\": \"valid\""), std::string::npos) << carol.out;

    CliOutcome dave = As("dave", "mail-unpack -", package);
    EXPECT_EQ(dave.exit, 1);
    EXPECT_EQ(dave.err, "varnex: 对不起,您没有解密此邮件的权限.\n");
    EXPECT_EQ(dave.out, "");

    // Sent: the package goes to the mail module as the one attachment, the recipients as To.
    std::filesystem::create_directories(dir / "modules");
    std::filesystem::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/mapi_recorder.so", dir / "modules/mapi.so");
    CliOutcome sent = As("alice", "mail-pack --sign --to bob,carol --send '" + dir / "note.txt" + "'", "/dev/null",
                         "VARNEX_MODULE_PATH='" + dir / "modules" + "' VARNEX_MAPI_RECORD='" + dir / "record" + "'");
    ASSERT_EQ(sent.exit, 0) << sent.err;
    const std::string second = sent.out.substr(0, sent.out.find('\n'));
    const std::string record = ReadFile(dir / "record");
    EXPECT_NE(record.find("to=bob@example.org\nto=carol@example.org\n"), std::string::npos) << record;
    EXPECT_NE(record.find("|" + second + "|" + std::filesystem::path(second).filename().string()), std::string::npos)
        << record;

    CliOutcome nobody = As("alice", "mail-pack --encrypt --to nobody '" + dir / "note.txt" + "'");
    EXPECT_EQ(nobody.exit, 1);
    EXPECT_EQ(nobody.out, "");
}
