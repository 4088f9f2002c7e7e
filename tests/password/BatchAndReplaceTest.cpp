#include "PasswordPackageFixture.h"

namespace fs = std::filesystem;

class BatchTest : public PasswordPackageTest {
protected:
    void SetUp() override {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src/one", "1");
        WriteFile(dir / "src/two", "2");
        ASSERT_EQ(Pack({"src/one"}, "a.pkg", "secret1"), 1);
        ASSERT_EQ(Pack({"src/two"}, "b.pkg", "secret1"), 1);
        ASSERT_EQ(Pack({"src/two"}, "c.pkg", "other22"), 1);
        host.Clear();
    }
};

TEST_F(BatchTest, SecondPackageOfTheBatchAsksNoPasswordAndAnotherPasswordIsRefused) {
    ASSERT_EQ(RestoreWith(engine, "a.pkg", "secret1"), 1);
    ASSERT_EQ(RestoreWith(engine, "b.pkg", ""), 1);
    EXPECT_EQ(host.Dialogs().size(), 1u) << "one password dialog for the batch";
    EXPECT_EQ(RestoreWith(engine, "c.pkg", ""), 0);
    EXPECT_EQ(host.Dialogs().size(), 1u);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "对不起，密码错!");
}

TEST_F(BatchTest, CancelledDialogOrWrongPasswordInSilentModeRestoresNothingAndShowsNothing) {
    CKorvane cancelled;  // no answer yet: the password dialog is cancelled
    EXPECT_EQ(RestoreWith(cancelled, "a.pkg", ""), 0);
    engine.m_batchSuccess = 1;
    EXPECT_EQ(RestoreWith(engine, "a.pkg", "wrong!!", 1), 0);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(engine.m_batchSuccess, 0);
    EXPECT_FALSE(fs::exists(dir / "out/one"));
}

// Replace "none" keeps every existing file (one question) and still writes new ones; cancel
// stops the restore; a read-only file is replaced when asked.
TEST_F(PasswordPackageTest, ReplaceAnswersKeepStopOrReplace) {
    fs::create_directories(dir / "src");
    for (const char* n : {"a", "b", "c"}) WriteFile(dir / "src" + std::string("/") + n, std::string("new ") + n);
    ASSERT_EQ(Pack({"src/a", "src/b", "src/c"}), 1);
    fs::create_directories(dir / "out");
    WriteFile(dir / "out/a", "old a");
    WriteFile(dir / "out/c", "old c");
    ::chmod((dir / "out/a").c_str(), 0444);
    host.AddAnswer("replace", "none");
    ASSERT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/a"), "old a");
    EXPECT_EQ(ReadFile(dir / "out/b"), "new b");
    EXPECT_EQ(ReadFile(dir / "out/c"), "old c");
    int replaceDialogs = 0;
    for (const auto& d : host.Dialogs()) replaceDialogs += d.kind == "replace";
    EXPECT_EQ(replaceDialogs, 1);

    CKorvane cancelled, again;
    host.AddAnswer("replace", "cancel");
    EXPECT_EQ(RestoreWith(cancelled, "p.pkg", "secret1"), -1) << "stopped, not failed";
    EXPECT_EQ(ReadFile(dir / "out/a"), "old a");
    host.AddAnswer("replace", "yes");
    EXPECT_EQ(RestoreWith(again, "p.pkg", "secret1"), 1);
    EXPECT_EQ(ReadFile(dir / "out/a"), "new a");
}
