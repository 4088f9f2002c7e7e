// Password packages on the PCI card (a simulated card module under its real name): they round
// trip, and a restore that fails inside a content leaves no card session open.

#include <cstdlib>

#include "PasswordPackageFixture.h"
#include "platform/Module.h"

namespace fs = std::filesystem;

class CardPackageTest : public PasswordPackageTest {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("VARNEX_MODULE_PATH")) oldPath = old;
        setenv("VARNEX_MODULE_PATH", modules.Path().c_str(), 1);
        fs::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/sim_trv88.so", modules / "trv88.so");
        ASSERT_TRUE(card.Load("trv88"));
        card.Proc<void (*)()>("SimTrv88Reset")();
    }
    void TearDown() override {
        if (oldPath.empty())
            unsetenv("VARNEX_MODULE_PATH");
        else
            setenv("VARNEX_MODULE_PATH", oldPath.c_str(), 1);
    }
    int OpenSessions() { return card.Proc<int (*)()>("SimTrv88OpenSessions")(); }

    TempDir modules;
    std::string oldPath;
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
