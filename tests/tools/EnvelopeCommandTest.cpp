// varnex envelope and varnex decrypt of envelope packages as a script runs them.

#include <filesystem>

#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

TEST(EnvelopeCommand, PacksForListedUsersOpensForThemAndReportsFailuresByExitCode) {
    TempDir dir;
    const std::string home = dir / "suite";
    {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home));
        ASSERT_NE(store.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
        ASSERT_NE(store.AddUser("bob", "Bob", "bob@example.org", "pw-bob"), 0);
        ASSERT_NE(store.AddUser("carol", "Carol", "carol@example.org", "pw-carol"), 0);
    }
    WriteFile(dir / "pa", "pw-alice\n");
    WriteFile(dir / "pb", "pw-bob\n");
    WriteFile(dir / "pc", "pw-carol\n");
    fs::create_directories(dir / "data/docs");
    WriteFile(dir / "data/docs/a.txt", "alpha");
    const std::string as = "--user alice --password-file " + dir / "pa" + " ";

    auto packed = RunVarnex(dir, home, as + "envelope -o " + dir / "e.vrk --to bob " + dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope -o " + dir / "e.vrk --to bob " + dir / "data").exit, 1)
        << "an existing package is not replaced without --force";
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope --force -o " + dir / "e.vrk --to bob " + dir / "data").exit, 0);
    auto listed = RunVarnex(dir, home, "list " + dir / "e.vrk");
    EXPECT_EQ(listed.exit, 0) << listed.err;
    EXPECT_NE(listed.out.find("docs/a.txt"), std::string::npos) << "names are listed without a key: " << listed.out;

    auto unknown = RunVarnex(dir, home, as + "envelope -o " + dir / "n.vrk --to nobody " + dir / "data");
    EXPECT_EQ(unknown.exit, 1);
    EXPECT_NE(unknown.err.find("nobody"), std::string::npos) << unknown.err;
    EXPECT_FALSE(fs::exists(dir / "n.vrk"));
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope --to bob " + dir / "data").exit, 2);

    auto refused = RunVarnex(
        dir, home, "--user carol --password-file " + dir / "pc" + " decrypt --to " + dir / "c " + dir / "e.vrk");
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find("对不起,您没有解密此文件的权限."), std::string::npos) << refused.err;
    // --test checks an envelope as its restore reads it: nothing written, nothing wiped; bytes
    // behind the signature are damage; with several packages each message names its package.
    const std::string bobTests = "--user bob --password-file " + dir / "pb" + " decrypt --test ";
    auto sound = RunVarnex(dir, home, bobTests + dir / "e.vrk");
    EXPECT_EQ(sound.exit, 0) << sound.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 8) << "nothing written";
    WriteFile(dir / "tail.vrk", ReadFile(dir / "e.vrk") + "x");
    auto tail = RunVarnex(dir, home, bobTests + dir / "tail.vrk " + dir / "e.vrk");
    EXPECT_EQ(tail.exit, 1);
    EXPECT_NE(tail.err.find(dir / "tail.vrk: 文件结构错."), std::string::npos) << tail.err;
    WriteFile(dir / "cut.vrk", ReadFile(dir / "e.vrk").substr(0, 400));
    auto two = RunVarnex(dir, home,
                         "--user bob --password-file " + dir / "pb" + " decrypt --to " + dir / "c " + dir / "cut.vrk " +
                             dir / "tail.vrk");
    EXPECT_EQ(two.exit, 1);
    EXPECT_NE(two.err.find("varnex: " + dir / "cut.vrk: "), std::string::npos) << two.err;
    fs::remove(dir / "cut.vrk");
    fs::remove(dir / "tail.vrk");
    const std::string bob = "--user bob --password-file " + dir / "pb" + " decrypt --to " + dir / "out ";
    auto kept = RunVarnex(dir, home, bob + "--keep " + dir / "e.vrk");
    ASSERT_EQ(kept.exit, 0) << kept.err;
    EXPECT_EQ(ReadFile(dir / "out/data/docs/a.txt"), "alpha");
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    fs::remove_all(dir / "out");
    auto opened = RunVarnex(dir, home, bob + dir / "e.vrk");
    EXPECT_EQ(opened.exit, 0) << opened.err;
    EXPECT_FALSE(fs::exists(dir / "e.vrk")) << "a restored package is wiped by default";
    EXPECT_NE(opened.err.find("wiped"), std::string::npos) << opened.err;
}
