// varnex envelope and varnex decrypt of envelope packages as a script runs them.

#include <filesystem>

#include "CliTest.h"

namespace fs = std::filesystem;

using EnvelopeCommand = CliTest;

TEST_F(EnvelopeCommand, PacksForListedUsersOpensForThemAndReportsFailuresByExitCode) {
    AddUsers({"alice", "bob", "carol"});
    fs::create_directories(dir / "data/docs");
    WriteFile(dir / "data/docs/a.txt", "alpha");

    auto packed = As("alice", "envelope -o " + dir / "e.vrk --to bob " + dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(As("alice", "envelope -o " + dir / "e.vrk --to bob " + dir / "data").exit, 1)
        << "an existing package is not replaced without --force";
    EXPECT_EQ(As("alice", "envelope --force -o " + dir / "e.vrk --to bob " + dir / "data").exit, 0);
    auto listed = Varnex("list " + dir / "e.vrk");
    EXPECT_EQ(listed.exit, 0) << listed.err;
    EXPECT_NE(listed.out.find("docs/a.txt"), std::string::npos) << "names are listed without a key: " << listed.out;

    auto unknown = As("alice", "envelope -o " + dir / "n.vrk --to nobody " + dir / "data");
    EXPECT_EQ(unknown.exit, 1);
    EXPECT_NE(unknown.err.find("nobody"), std::string::npos) << unknown.err;
    EXPECT_FALSE(fs::exists(dir / "n.vrk"));
    EXPECT_EQ(As("alice", "envelope --to bob " + dir / "data").exit, 2);

    auto refused = As("carol", "decrypt --to " + dir / "c " + dir / "e.vrk");
    EXPECT_EQ(refused.exit, 1);
    EXPECT_NE(refused.err.find("对不起,您没有解密此文件的权限."), std::string::npos) << refused.err;
    // --test checks an envelope as its restore reads it: nothing written, nothing wiped; bytes
    // behind the signature are damage; with several packages each message names its package.
    auto sound = As("bob", "decrypt --test " + dir / "e.vrk");
    EXPECT_EQ(sound.exit, 0) << sound.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5) << "nothing written";
    WriteFile(dir / "tail.vrk", ReadFile(dir / "e.vrk") + "x");
    auto tail = As("bob", "decrypt --test " + dir / "tail.vrk " + dir / "e.vrk");
    EXPECT_EQ(tail.exit, 1);
    EXPECT_NE(tail.err.find(dir / "tail.vrk: 文件结构错."), std::string::npos) << tail.err;
    WriteFile(dir / "cut.vrk", ReadFile(dir / "e.vrk").substr(0, 400));
    auto two = As("bob", "decrypt --to " + dir / "c " + dir / "cut.vrk " + dir / "tail.vrk");
    EXPECT_EQ(two.exit, 1);
    EXPECT_NE(two.err.find("varnex: " + dir / "cut.vrk: "), std::string::npos) << two.err;
    fs::remove(dir / "cut.vrk");
    fs::remove(dir / "tail.vrk");
    auto kept = As("bob", "decrypt --to " + dir / "out --keep " + dir / "e.vrk");
    ASSERT_EQ(kept.exit, 0) << kept.err;
    EXPECT_EQ(ReadFile(dir / "out/data/docs/a.txt"), "alpha");
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    fs::remove_all(dir / "out");
    auto opened = As("bob", "decrypt --to " + dir / "out " + dir / "e.vrk");
    EXPECT_EQ(opened.exit, 0) << opened.err;
    EXPECT_FALSE(fs::exists(dir / "e.vrk")) << "a restored package is wiped by default";
    EXPECT_NE(opened.err.find("wiped"), std::string::npos) << opened.err;
}
