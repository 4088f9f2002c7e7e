#include "PasswordPackageFixture.h"

namespace fs = std::filesystem;

// One password dialog serves a batch: a cancelled dialog restores nothing and says nothing; the
// password accepted for the first package opens the next without asking, and a package under
// another password is refused with its message.
TEST_F(PasswordPackageTest, BatchAsksOnceCancelRestoresNothingAnotherPasswordIsRefused) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/one", "1");
    WriteFile(dir / "src/two", "2");
    ASSERT_EQ(Pack({"src/one"}, "a.pkg", "secret1"), 1);
    ASSERT_EQ(Pack({"src/two"}, "b.pkg", "secret1"), 1);
    ASSERT_EQ(Pack({"src/two"}, "c.pkg", "other22"), 1);
    CKorvane cancelled;
    EXPECT_EQ(RestoreWith(cancelled, "a.pkg", ""), 0);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_FALSE(fs::exists(dir / "out/one"));

    host.Clear();
    ASSERT_EQ(RestoreWith(engine, "a.pkg", "secret1"), 1);
    ASSERT_EQ(RestoreWith(engine, "b.pkg", ""), 1);
    EXPECT_EQ(host.Dialogs().size(), 1u) << "one password dialog for the batch";
    EXPECT_EQ(RestoreWith(engine, "c.pkg", ""), 0);
    EXPECT_EQ(host.Dialogs().size(), 1u);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"password.WrongPassword"});
}
