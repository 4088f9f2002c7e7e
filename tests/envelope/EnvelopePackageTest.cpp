// Envelope packages made for some users: each recipient restores them and verifies the
// sender's signature; everybody else is refused; damage is caught by the record CRCs, the
// content CRC and the signature.

#include <utime.h>

#include "EnvelopeFixture.h"
#include "damage/DamagedFile.h"
#include "formats/EncryptFlag.h"

namespace fs = std::filesystem;

namespace {

const char kNoPermission[] = "对不起,您没有解密此文件的权限.";

}  // namespace

class EnvelopePackage : public EnvelopeTest {
protected:
    void MakeTree() {
        fs::create_directories(dir / "src/tree/sub/empty");
        WriteFile(dir / "src/tree/a.txt", "alpha");
        WriteFile(dir / "src/tree/sub/big.bin", RandomBytes(kStreamBlockSize + 1000, 3));
        WriteFile(dir / "src/tree/sub/ro.txt", "read only");
        struct utimbuf times {
            1500000000, 1500000000
        };
        ::utime((dir / "src/tree/a.txt").c_str(), &times);
        fs::permissions(dir / "src/tree/sub/ro.txt",
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
};

TEST_F(EnvelopePackage, OpensForEachRecipientAndRefusesEverybodyElse) {
    MakeTree();
    ASSERT_EQ(Pack({"src/tree"}), 1);
    for (const char* reader : {"bob", "alice"}) {
        fs::remove_all(dir / "out");
        host.Clear();
        ASSERT_EQ(Restore(reader), 1) << reader << ": restored and the signature verified";
        EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];
        EXPECT_EQ(ReadFile(dir / "out/tree/a.txt"), "alpha");
        EXPECT_EQ(ReadFile(dir / "out/tree/sub/big.bin"), RandomBytes(kStreamBlockSize + 1000, 3));
        EXPECT_TRUE(fs::is_directory(dir / "out/tree/sub/empty"));
        EXPECT_EQ(ModifiedAt(dir / "out/tree/a.txt"), 1500000000);
        EXPECT_EQ(fs::status(dir / "out/tree/sub/ro.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    }

    fs::remove_all(dir / "out");
    host.Clear();
    EXPECT_EQ(Restore("carol"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoPermission});
    EXPECT_FALSE(fs::exists(dir / "out/tree"));

    // In a batch the refusal is silent: the batch's summary reports it once.
    host.Clear();
    EXPECT_EQ(Restore("carol", "e.vrk", 1), 0);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(batchSuccess, 0);
}

TEST_F(EnvelopePackage, ChangedContentKeptOnRequestStillFailsTheSignature) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/note.txt", "a note of some length");
    ASSERT_EQ(Pack({"src/note.txt"}), 1);
    // The byte in front of the signature trailer is the file's last ciphertext byte.
    DamagedFile package(SecuredKind::kEnvelope, dir / "e.vrk");
    WriteFile(dir / "e.vrk", package.FlipByte(package.Record("trailer").begin - 1));
    host.AddAnswer("yes-no", "yes");
    EXPECT_EQ(Restore("bob"), 0);
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{"文件内容CRC校验错, 是否继续? ", "数字签名验证不正确。"}));
}

// Without a preset folder a package from somebody else restores beside itself (a shared one
// found by the reader's key text); only the user's own package goes back to the folder its
// files came from.
TEST_F(EnvelopePackage, DirectRestoreGoesBesideThePackageUnlessItIsTheUsersOwn) {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "inbox");
    WriteFile(dir / "src/note.txt", "original");
    WriteFile(dir / "src/plan.txt", "shared plan");
    ASSERT_EQ(Pack({"src/note.txt"}, {"bob"}, "inbox/e.vrk"), 1);
    ASSERT_EQ(Pack({"src/plan.txt"}, {"bob"}, "inbox/s.vrk", "alice", kKindShared), 1);
    fs::remove(dir / "src/note.txt");
    for (auto [reader, package] : {std::pair{"bob", "inbox/e.vrk"}, {"bob", "inbox/s.vrk"}, {"alice", "inbox/e.vrk"}}) {
        LogOn(reader);
        CKorvane e;
        EXPECT_EQ(e.EnvelopDecryptFiles((dir / package).c_str(), nullptr, 1, 0), 1) << reader << " " << package;
    }
    EXPECT_EQ(ReadFile(dir / "inbox/note.txt"), "original") << "bob's copy lands beside the package";
    EXPECT_EQ(ReadFile(dir / "inbox/plan.txt"), "shared plan");
    EXPECT_EQ(ReadFile(dir / "src/note.txt"), "original") << "alice's own package goes back where it came from";
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(Restore("carol", "inbox/s.vrk"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoPermission});
}

// A pack that fails half-way leaves nothing behind and never touches a file already at the
// package's path.
TEST_F(EnvelopePackage, FailedPackLeavesTheExistingFileAndNoPackage) {
    fs::create_directories(dir / "src");
    WriteFile(dir / "src/a.txt", "a");
    WriteFile(dir / "e.vrk", "precious");
    EXPECT_EQ(Pack({"src/a.txt"}, {"nobody"}), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"公钥不存在，不能加密."});
    EXPECT_EQ(ReadFile(dir / "e.vrk"), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 2) << "no temporary file";
}
