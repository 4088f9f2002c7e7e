#include <filesystem>
#include <string>
#include <vector>

#include "formats/EncryptFlag.h"
#include "formats/ProtectedFields.h"
#include "platform/Text.h"
#include "signature/SignatureFixture.h"

namespace {

namespace fs = std::filesystem;

const char* const kNoCertificate =
    "公钥证书库没有安装用于验证数字签名的公钥证书，不能验证签名文件或签名邮件来源的可靠性和内容的完整性，"
    "请从文件或邮件签名人那里索要他（她）的公钥证书.以便验证数字签名。";

class VerifyTest : public SignatureTest {
protected:
    int Verify(const std::string& signature) { return engine.Verify_One_File(signature.c_str()); }
    // The lines of the last report shown, or none.
    std::vector<std::string> Report() const {
        for (auto it = host.Dialogs().rbegin(); it != host.Dialogs().rend(); ++it)
            if (it->kind == "verify") return it->lines;
        return {};
    }
    bool Shows(const std::string& text) const {
        for (const std::string& line : Report())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

}  // namespace

TEST_F(VerifyTest, SignedFileVerifiesAndOneChangedByteIsReportedAsChanged) {
    const std::string content = RandomBytes(700000, 3);  // more than two stream blocks
    std::string signature = Signed("report.bin", content);
    ASSERT_EQ(Verify(signature), 1);
    ASSERT_FALSE(Report().empty());
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");
    EXPECT_EQ(Report()[1], "签名人: Alice<alice@example.org>");
    EXPECT_TRUE(Shows("自签名后内容未被改动."));
    EXPECT_TRUE(Shows("文件大小: 700000字节"));
    EXPECT_TRUE(host.Messages().empty());
    ASSERT_EQ(Verify(Signed("empty.txt", "")), 1);
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");
    EXPECT_TRUE(Shows("文件大小: 0字节"));

    std::string changed = content;
    changed[400000] ^= 0x20;
    WriteFile(dir / "report.bin", changed);
    host.Clear();
    EXPECT_EQ(Verify(signature), 1) << "an incorrect signature is still a completed check";
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名不正确");
    EXPECT_TRUE(Shows(dir / "report.bin"));
    EXPECT_TRUE(Shows("自签名后内容已改动."));
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.BadSignature"});
}

TEST_F(VerifyTest, SignedFileIsFoundBesideTheSignatureElseTheDialogProposesItsName) {
    std::string signature = Signed("a.txt");
    fs::create_directories(dir / "moved");
    fs::rename(dir / "a.txt", dir / "moved/a.txt");
    fs::rename(signature, dir / "moved/a.txt.idi");
    EXPECT_EQ(Verify(dir / "moved/a.txt.idi"), 1);
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");
    EXPECT_EQ(host.Dialogs().size(), 1u) << "no file dialog when the file moved along";

    // Moved alone: the dialog proposes the stored name; cancelling ends without a message.
    fs::create_directories(dir / "alone");
    fs::rename(dir / "moved/a.txt.idi", dir / "alone/a.txt.idi");
    host.Clear();
    EXPECT_EQ(Verify(dir / "alone/a.txt.idi"), 0);
    ASSERT_EQ(host.Dialogs().size(), 1u);
    EXPECT_EQ(host.Dialogs()[0].kind, "file");
    EXPECT_TRUE(host.Messages().empty());
    host.Clear();
    host.AddAnswer("file", dir / "moved/a.txt");
    EXPECT_EQ(Verify(dir / "alone/a.txt.idi"), 1);
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");
}

TEST_F(VerifyTest, OnlyTheStoredFileNameIsJoinedToTheSignatureFolder) {
    std::string signature = Signed("b.txt");
    // Made on another system: the name part follows the last "\".
    Rewrite(signature, [](EncryptFlag&, File_SignInfo& r) {
        r.fileNameLength = std::snprintf(r.fileName, sizeof r.fileName, "C:\\Docs\\b.txt");
    });
    EXPECT_EQ(Verify(signature), 1);
    EXPECT_EQ(host.Dialogs().size(), 1u);
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");

    // A stored path that climbs out of the folder cannot lead the search there.
    WriteFile(dir / "outside.txt", "signed content\n");
    fs::create_directories(dir / "inner");
    fs::rename(signature, dir / "inner/b.txt.idi");
    Rewrite(dir / "inner/b.txt.idi", [](EncryptFlag&, File_SignInfo& r) {
        r.fileNameLength = std::snprintf(r.fileName, sizeof r.fileName, "../outside.txt");
    });
    host.Clear();
    EXPECT_EQ(Verify(dir / "inner/b.txt.idi"), 0);
    ASSERT_EQ(host.Dialogs().size(), 1u);
    EXPECT_EQ(host.Dialogs()[0].kind, "file") << "outside.txt is not beside the signature file";
}

// Lengths one past their rooms are in the damaged-file table; these are at their rooms.
TEST_F(VerifyTest, StoredLengthsAtTheirRoomsAreRead) {
    CKorvane e;
    CFile file;
    ASSERT_TRUE(file.Open(dir / "x.idi", CFile::modeCreate | CFile::modeReadWrite));
    EncryptFlag head;
    e.InitEncryptFlag(&head, kKindSignUser);
    ASSERT_EQ(e.WriteEncryptedFileHead(&file, &head), 1);
    ProtectedWriter w(e.Records(), &file);
    const std::string name(kSignPathRoom - 1, 'n'), signatureBytes(kSignRecordSignatureRoom, 's');
    const uint32_t size = 0;
    ASSERT_TRUE(w.I32(static_cast<int32_t>(kSignPathRoom - 1)) && w.Field(name.data(), name.size()) &&
                w.Field("20260101120000", 14) && w.Field(&size, 4) && w.U8(0x20) && w.Field("20260101120000", 14) &&
                w.I32(static_cast<int32_t>(kSignRecordSignatureRoom)) &&
                w.Field(signatureBytes.data(), signatureBytes.size()) && w.I32(5) && w.Field("alice", 5) && w.I32(1) &&
                w.Field("c", 1) && w.I32(1) && w.Field("s", 1) && w.Finish());
    file.Close();
    char kind = 0, stored[260];
    auto info = std::make_unique<File_SignInfo>();
    EXPECT_EQ(engine.GetFileSecureInfo((dir / "x.idi").c_str(), &kind, nullptr, nullptr, info.get(), nullptr, stored),
              1);
    EXPECT_EQ(static_cast<size_t>(info->signatureLength), kSignRecordSignatureRoom);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(VerifyTest, MailSignaturesResolveTheSignerNameAndAMissingCertificateShowsNoReport) {
    WriteFile(dir / "m.txt", "for mail");
    ASSERT_EQ(engine.SignFilesWithEmail(PathList({dir / "m.txt"}).c_str(), "alice", kPassword, 0), 1);
    // The certificate name in the record is not what a mail signature is checked with.
    Rewrite(dir / "m.txt.idi", [](EncryptFlag&, File_SignInfo& r) { r.certNameLength = 0; });
    EXPECT_EQ(Verify(dir / "m.txt.idi"), 1);
    EXPECT_EQ(Report()[0], "验证结果：验证数字签名正确");

    ASSERT_TRUE(logon.RemoveUser("alice"));
    host.Clear();
    EXPECT_EQ(Verify(dir / "m.txt.idi"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNoCertificate});
    EXPECT_TRUE(Report().empty());
}

// The report names the holder of the certificate that checked the signature, as the certificate
// holds it. A record whose user ID or signer name names anyone else fails on its own message
// with no report; a mail signature's user ID may name nobody here (the signer's own suite).
TEST_F(VerifyTest, SignerIsTheCertificatesAndARecordNamingSomeoneElseFails) {
    AddUsers({"carol"});
    LogOn("carol");
    WriteFile(dir / "c.txt", "carol's terms");
    WriteFile(dir / "m.txt", "carol's mail");
    ASSERT_EQ(engine.SignFiles(PathList({dir / "c.txt"}).c_str(), "carol", "pw-carol", 0, 0), 1);
    ASSERT_EQ(engine.SignFilesWithEmail(PathList({dir / "m.txt"}).c_str(), "carol", "pw-carol", 0), 1);
    const std::string carol = "Carol<carol@example.org>", alice = "Alice<alice@example.org>";
    const std::string kNotTheCertificate = "签名文件中的签名人与验证数字签名的公钥证书不符, 签名人不能确认.";
    struct Case {
        const char* what;
        const char* file;
        std::string userId, signer;
        bool refused;
    };
    for (const Case& c : std::vector<Case>{
             {"as signed", "c.txt", "carol", carol, false},
             {"signer name in capitals", "c.txt", "carol", "CAROL<CAROL@EXAMPLE.ORG>", false},
             {"user ID and signer name of alice", "c.txt", "alice", alice, true},
             {"signer name of alice", "c.txt", "carol", alice, true},
             {"user ID of alice", "c.txt", "alice", carol, true},
             {"user ID of nobody", "c.txt", "mallory", carol, true},
             {"empty signer name", "c.txt", "carol", "", true},
             {"mail: user ID of nobody here", "m.txt", "carol.at.home", carol, false},
             {"mail: user ID of alice", "m.txt", "alice", carol, true},
         }) {
        SCOPED_TRACE(c.what);
        const std::string signature = dir / (std::string(c.file) + ".idi");
        Rewrite(signature, [&](EncryptFlag&, File_SignInfo& r) {
            r.userIdLength = static_cast<int32_t>(c.userId.size());
            CopyText(r.userId, sizeof r.userId, c.userId);
            r.signerNameLength = static_cast<int32_t>(c.signer.size());
            CopyText(r.signerName, sizeof r.signerName, c.signer);
        });
        host.Clear();
        EXPECT_EQ(Verify(signature), c.refused ? 0 : 1);
        if (c.refused) {
            EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{kNotTheCertificate});
            EXPECT_TRUE(Report().empty());
        } else {
            EXPECT_TRUE(host.Messages().empty());
            ASSERT_GT(Report().size(), 1u);
            EXPECT_EQ(Report()[1], "签名人: " + carol);
        }
    }
}
