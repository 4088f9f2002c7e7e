// varnex envelope as a script runs it.

#include <filesystem>

#include "TestSupport.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

TEST(EnvelopeCommand, PacksForListedUsersAndReportsFailuresByExitCode) {
    TempDir dir;
    const std::string home = dir / "suite";
    {
        LogonStore store(1000);
        ASSERT_TRUE(store.Open(home));
        ASSERT_NE(store.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
        ASSERT_NE(store.AddUser("bob", "Bob", "bob@example.org", "pw-bob"), 0);
    }
    WriteFile(dir / "pa", "pw-alice\n");
    fs::create_directories(dir / "data/docs");
    WriteFile(dir / "data/docs/a.txt", "alpha");
    const std::string as = "--user alice --password-file " + dir / "pa" + " ";

    auto packed = RunVarnex(dir, home, as + "envelope -o " + dir / "e.vrk --to bob " + dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope -o " + dir / "e.vrk --to bob " + dir / "data").exit, 1)
        << "an existing package is not replaced without --force";
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope --force -o " + dir / "e.vrk --to bob " + dir / "data").exit, 0);

    auto unknown = RunVarnex(dir, home, as + "envelope -o " + dir / "n.vrk --to nobody " + dir / "data");
    EXPECT_EQ(unknown.exit, 1);
    EXPECT_NE(unknown.err.find("nobody"), std::string::npos) << unknown.err;
    EXPECT_FALSE(fs::exists(dir / "n.vrk"));
    EXPECT_EQ(RunVarnex(dir, home, as + "envelope --to bob " + dir / "data").exit, 2);
}
