#include <filesystem>
#include <string>
#include <vector>

#include "signature/SignatureFixture.h"

namespace {

namespace fs = std::filesystem;

class SignTest : public SignatureTest {
protected:
    std::string Outbox() const { return logon.Home() + "/mail/outbox"; }
    // The composed messages in the outbox.
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = fs::directory_iterator(Outbox(), ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            if (it->path().extension() == ".eml") out.push_back(ReadFile(it->path()));
        return out;
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    NoDesktopSession noDesktop;  // the composed message stays in the outbox
};

}  // namespace

TEST_F(SignTest, FailedOrDeclinedSigningKeepsTheEarlierSignatureFileAndLeavesNothingBehind) {
    std::string signature = Signed("doc.txt");
    const std::string earlier = ReadFile(signature);
    host.AddAnswer("yes-no", "no");
    EXPECT_EQ(Sign({dir / "doc.txt"}), 1);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"签名文件" + signature + "已存在, 是否覆盖原文件?"});

    // One "yes" for each overwrite question: the failed attempt asks too. The key unlocked by
    // the earlier batch is not kept: the wrong password is refused.
    host.Clear();
    host.AddAnswer("yes-no", "yes");
    host.AddAnswer("yes-no", "yes");
    WriteFile(dir / "doc.txt", "changed");
    EXPECT_EQ(engine.SignFiles(PathList({dir / "doc.txt"}).c_str(), "alice", "wrong password", 0, 0), 1);
    EXPECT_EQ(host.MessageTexts(),
              (std::vector<std::string>{"签名文件" + signature + "已存在, 是否覆盖原文件?", "取用户RSA私钥失败。"}));
    EXPECT_EQ(ReadFile(signature), earlier);
    EXPECT_EQ(FilesIn(dir.Path()).size(), 2u) << "doc.txt, doc.txt.idi: no temporary file";

    EXPECT_EQ(Sign({dir / "doc.txt"}), 1) << "yes replaces it";
    EXPECT_NE(ReadFile(signature), earlier);

    // A link at the signature's name, even one leading nowhere, is asked about as a signature
    // file is, and replaced, never written through.
    WriteFile(dir / "l.txt", "linked");
    fs::create_symlink(dir / "nowhere", dir / "l.txt.idi");
    for (const char* answer : {"no", "yes"}) {
        host.Clear();
        host.AddAnswer("yes-no", answer);
        EXPECT_EQ(Sign({dir / "l.txt"}), 1) << answer;
        EXPECT_EQ(host.MessageTexts(),
                  std::vector<std::string>{"签名文件" + dir / "l.txt.idi" + "已存在, 是否覆盖原文件?"});
    }
    EXPECT_FALSE(fs::is_symlink(dir / "l.txt.idi"));
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(SignTest, AtMostTwoHundredFilesAreSigned) {
    std::vector<std::string> paths;
    fs::create_directories(dir / "many");
    for (int i = 0; i < 250; ++i) {
        paths.push_back(dir / ("many/f" + std::to_string(i)));
        WriteFile(paths.back(), std::to_string(i));
    }
    paths.insert(paths.begin() + 3, dir / "missing");  // skipped without a message
    ASSERT_EQ(engine.SignFilesWithEmail(PathList(paths).c_str(), "alice", kPassword, 0), 1);
    size_t signatures = 0;
    for (const std::string& name : FilesIn(dir / "many")) signatures += name.ends_with(".idi");
    EXPECT_EQ(signatures, 200u);
    EXPECT_TRUE(fs::exists(dir / "many/f199.idi"));
    EXPECT_FALSE(fs::exists(dir / "many/f200.idi"));
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(Messages().empty()) << "nothing is mailed";
}

TEST_F(SignTest, MailedSignaturesTravelWithTheirFilesAndOnlyTheSignatureFilesAreDeleted) {
    for (const char* setting : {"tRuE", "no"}) {
        ASSERT_TRUE(logon.SetOption("Option", "AutoSendPubCert", setting));
        fs::remove_all(Outbox());
        std::vector<std::string> paths;
        for (int i = 0; i < 3; ++i) {
            paths.push_back(dir / ("m" + std::to_string(i) + ".txt"));
            WriteFile(paths.back(), "mail " + std::to_string(i));
        }
        ASSERT_EQ(Sign(paths, 1), 1);
        std::vector<std::string> mails = Messages();
        ASSERT_EQ(mails.size(), 1u);
        bool withCert = std::string(setting) == "tRuE";
        EXPECT_EQ(Count(mails[0], "Content-Disposition: attachment"), withCert ? 7u : 6u);
        EXPECT_EQ(Count(mails[0], "filename=m1.txt.idi"), 1u);
        EXPECT_NE(mails[0].find("Subject: =?"), std::string::npos) << "the subject, encoded";
        for (const std::string& p : paths) {
            EXPECT_TRUE(fs::exists(p));
            EXPECT_FALSE(fs::exists(p + ".idi")) << "flagged for deletion, held by the message";
        }
        // Nobody opens the message here: its place is told.
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_NE(host.Messages()[0].text.find(Outbox()), std::string::npos);
        host.Clear();
    }
}
