// What a generated-name package tells its recipients, and nobody else, without decrypting.

#include <filesystem>

#include "AdvancedFixture.h"
#include "envelope/EnvelopePackager.h"
#include "signature/SecureInfo.h"

namespace fs = std::filesystem;

namespace {

struct Original {
    int result = 0;
    std::string name, time;
    int32_t size = -1;
};

}  // namespace

class OriginalInfoTest : public AdvancedTest {
protected:
    Original Ask(const std::string& package, const std::string& user, const std::string& password) {
        LogOn(user);
        Lumo_PrivateKey index;
        std::string indexName;
        EXPECT_TRUE(logon.GetPrivateKeyIndex(index, indexName));
        char name[kMaxPath] = "untouched", time[kMaxPath] = {};
        Original o;
        o.result = engine.GetFileOriInfo(package.c_str(), user.c_str(), password.c_str(), index, name, time, &o.size);
        o.name = name;
        o.time = time;
        return o;
    }
};

TEST_F(OriginalInfoTest, RecipientsAreToldNameTimeAndSizeOthersNothing) {
    WriteFile(dir / "report.doc", "ten bytes!");
    ASSERT_EQ(engine.SetFileStatus((dir / "report.doc").c_str(), "20030105090703", "20030105090703", 0x20), 1);
    WriteFile(dir / "s.txt", "shared");
    ASSERT_TRUE(logon.GrantShare(dir / "share", {{kDecryptManUser, Number("bob")}}));
    ASSERT_EQ(Encrypt({"report.doc"}), 1);
    const std::string own = PackageOf("report.doc");
    ASSERT_EQ(ShareEncrypt({"s.txt"}, "share"), 1);
    const std::string shared = PackageOf("s.txt");

    Original o = Ask(own, "alice", "pw-alice");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.name, "report.doc");
    EXPECT_EQ(o.time, "20030105090703");
    EXPECT_EQ(o.size, 10);
    o = Ask(shared, "bob", "pw-bob");
    EXPECT_EQ(o.result, 1);
    EXPECT_EQ(o.name, "s.txt");

    EXPECT_EQ(Ask(own, "bob", "pw-bob").result, 0);
    EXPECT_EQ(Ask(shared, "dave", "pw-dave").result, 0) << "intact, but not for dave";
    EXPECT_EQ(Ask(own, "alice", "wrong").result, 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(OriginalInfoTest, EveryTruncationAnswersZeroWithoutAWordAndSeveralItemsAreToldAsSuch) {
    WriteFile(dir / "a.txt", "a small file");
    ASSERT_EQ(Encrypt({"a.txt"}), 1);
    const std::string whole = ReadFile(PackageOf("a.txt"));
    Lumo_PrivateKey index;
    std::string indexName;
    ASSERT_TRUE(logon.GetPrivateKeyIndex(index, indexName));
    // Only the head and the records up to the file's are read: every cut before that record's
    // end answers 0, every cut behind it still tells the name.
    size_t firstTold = 0;
    for (size_t length = 0; length < whole.size(); ++length) {
        WriteFile(dir / "cut.vrk", whole.substr(0, length));
        char name[kMaxPath] = {}, time[kMaxPath] = {};
        int result = engine.GetFileOriInfo((dir / "cut.vrk").c_str(), "alice", "pw-alice", index, name, time);
        if (result == 1 && firstTold == 0) firstTold = length;
        EXPECT_EQ(result, firstTold != 0 ? 1 : 0) << "cut at " << length;
        EXPECT_STRNE(name, kMixedFilesText);
    }
    EXPECT_GT(firstTold, kHeadSize);
    EXPECT_TRUE(host.Messages().empty());

    fs::create_directories(dir / "src/f");
    WriteFile(dir / "src/f/1.txt", "1");
    WriteFile(dir / "src/f/2.txt", "2");
    EnvelopePackRequest request;
    request.packagePath = dir / "mixed.vrk";
    request.paths = {dir / "src/f"};
    request.baseFolder = dir / "src";
    CKorvane packer;
    ASSERT_EQ(PackEnvelope(packer, request), 1);
    Original o = Ask(dir / "mixed.vrk", "alice", "pw-alice");
    EXPECT_EQ(o.result, 1) << "several items, told as such";
    EXPECT_EQ(o.name, kMixedFilesText);
    EXPECT_EQ(o.time, "");
}
