#include <filesystem>
#include <string>
#include <vector>

#include "envelope/EnvelopePackager.h"
#include "password/PasswordPackager.h"
#include "shell/SecurityPage.h"
#include "signature/SignatureFixture.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kSignatureList = {"可验证签名的用户:", "只要安装了签名用户的公钥证书，任何人都可验证"};

class SecureInfoTest : public SignatureTest {
protected:
    SecureInfoTest() { AddUsers({"bob"}); }
    FileSecurity Info(const std::string& path) { return ReadFileSecurity(engine, path); }
    int Envelope(const std::string& package, const std::vector<std::string>& paths) {
        EnvelopePackRequest request;
        request.packagePath = package;
        request.paths = paths;
        request.baseFolder = dir.Path();
        request.recipients = {"bob"};
        CKorvane e;
        return PackEnvelope(e, request);
    }
    // Gives a secured file's head another kind.
    void SetKind(const std::string& path, uint8_t kind) {
        CKorvane e;
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeReadWrite));
        EncryptFlag head;
        ASSERT_EQ(e.ReadEncryptedFileHead(&file, &head, nullptr), 1);
        head.kind = kind;
        ASSERT_EQ(e.WriteEncryptedFileHead(&file, &head), 1);
    }
};

}  // namespace

TEST_F(SecureInfoTest, PasswordPackageAndPlainFile) {
    WriteFile(dir / "one.txt", "one");
    PasswordPackRequest request;
    request.packagePath = dir / "one.pkg";
    request.paths = {dir / "one.txt"};
    request.baseFolder = dir.Path();
    request.password = "package-secret";
    ASSERT_EQ(PackWithPassword(engine, request), 1);
    FileSecurity info = Info(dir / "one.pkg");
    EXPECT_EQ(info.result, 1);
    EXPECT_EQ(info.nameText, "") << "names are told for envelope packages only";
    EXPECT_EQ(SecurityPageLines(info), (std::vector<std::string>{"安全类型: 密码加密", "加密用户: 未登记",
                                                                 "可解密此文件的用户:", "任何知道解密密码的用户"}));
    EXPECT_EQ(SecurityPageLines(Info(dir / "one.txt")), std::vector<std::string>{"不能读取文件安全信息"});
    EXPECT_EQ(Info(dir / "nothing").result, 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SecureInfoTest, EnvelopeTellsSenderRecipientsAndTheSingleName) {
    WriteFile(dir / "plan.txt", "plan");
    ASSERT_EQ(Envelope(dir / "plan.vrk", {dir / "plan.txt"}), 1);
    FileSecurity info = Info(dir / "plan.vrk");
    EXPECT_EQ(info.nameText, "plan.txt");
    EXPECT_EQ(SecurityPageLines(info),
              (std::vector<std::string>{"安全类型: 公约证书加密(2.0加密格式)", "加密用户: alice(文件所称, 未经验证)",
                                        "可解密此文件的用户(共2个):", "alice Alice<alice@example.org>",
                                        "bob Bob<bob@example.org>"}));

    SetKind(dir / "plan.vrk", kKindShared);
    EXPECT_EQ(
        SecurityPageLines(Info(dir / "plan.vrk")),
        (std::vector<std::string>{"安全类型: 数字信封加密", "加密用户: alice(文件所称, 未经验证)",
                                  "可解密此文件的用户(共2个):", "Alice<alice@example.org>", "Bob<bob@example.org>"}));

    fs::create_directories(dir / "tree/sub");
    WriteFile(dir / "tree/a", "a");
    WriteFile(dir / "tree/sub/b", "b");
    ASSERT_EQ(Envelope(dir / "tree.vrk", {dir / "tree"}), 1);
    EXPECT_EQ(Info(dir / "tree.vrk").nameText, "混合文件");
    // One file inside a folder of its own: the folder's record comes first.
    ASSERT_EQ(Envelope(dir / "sub.vrk", {dir / "tree/sub"}), 1);
    FileSecurity one = Info(dir / "sub.vrk");
    EXPECT_EQ(one.result, 1);
    EXPECT_EQ(one.nameText.back(), 'b') << one.nameText;
    // A damaged package is unreadable without a message.
    WriteFile(dir / "cut.vrk", ReadFile(dir / "tree.vrk").substr(0, kHeadSize + 40));
    EXPECT_EQ(Info(dir / "cut.vrk").result, 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SecureInfoTest, SignatureFilesTellTheirSigner) {
    EXPECT_EQ(SecurityPageLines(Info(Signed("s.txt"))),
              (std::vector<std::string>{"安全类型: 数字签名文件",
                                        "签名人:alice(Alice<alice@example.org>)(文件所称, 未经验证)", kSignatureList[0],
                                        kSignatureList[1]}));
    WriteFile(dir / "m.txt", "m");
    ASSERT_EQ(engine.SignFilesWithEmail(PathList({dir / "m.txt"}).c_str(), "alice", kPassword, 0), 1);
    FileSecurity info = Info(dir / "m.txt.idi");
    EXPECT_EQ(SecurityPageLines(info), (std::vector<std::string>{"安全类型: 数字签名文件",
                                                                 "签名人: Alice<alice@example.org>(文件所称, 未经验证)",
                                                                 kSignatureList[0], kSignatureList[1]}));
    EXPECT_EQ(info.recipients[0].recipientTextLength, 0) << "recipients are left as they were";
}
