// Password packages on the PCI card (a simulated card module under its real name): they round
// trip, and a restore that fails inside a content leaves no card session open.

#include "PasswordPackageFixture.h"
#include "TestModules.h"
#include "platform/Module.h"

namespace fs = std::filesystem;

class CardPackageTest : public PasswordPackageTest {
protected:
    void SetUp() override {
        modules.Install("trv88", "sim_trv88");
        ASSERT_TRUE(card.Load("trv88"));
        card.Proc<void (*)()>("SimTrv88Reset")();
    }
    int OpenSessions() { return card.Proc<int (*)()>("SimTrv88OpenSessions")(); }

    ScopedModules modules;
    CModule card;
};

TEST_F(CardPackageTest, PackageOnTheCardRoundTripsAndAFailedRestoreClosesTheCard) {
    fs::create_directories(dir / "src");
    std::string content = RandomBytes(307200 + 5, 8);
    WriteFile(dir / "src/f.bin", content);
    ASSERT_EQ(Pack({"src/f.bin"}, "p.pkg", "secret1", 120), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_EQ(OpenSessions(), 0);
    {
        CKorvane reader;
        ASSERT_EQ(RestoreWith(reader, "p.pkg", "secret1"), 1);
    }
    EXPECT_EQ(ReadFile(dir / "out/f.bin"), content);

    std::string package = ReadFile(dir / "p.pkg");
    WriteFile(dir / "cut.pkg", package.substr(0, package.size() - 1000));
    fs::remove_all(dir / "out");
    host.Clear();
    CKorvane reader;
    EXPECT_EQ(RestoreWith(reader, "cut.pkg", "secret1"), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"package.DataShort"});
    EXPECT_EQ(OpenSessions(), 0) << "the card session ends with the failed file";
    EXPECT_FALSE(fs::exists(dir / "out/f.bin"));
}
