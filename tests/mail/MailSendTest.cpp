#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "TestModules.h"
#include "mail/IMapi.h"
#include "mail/MailStart.h"
#include "mail/Messages.h"
#include "platform/Module.h"

namespace {

namespace fs = std::filesystem;

// A test store and the mail module of the test's choice installed as "mapi".
class MailSendTest : public LogonHostTest {
protected:
    MailSendTest() { CIMapi().FreeLibarary(); }
    ~MailSendTest() override {
        CIMapi().FreeLibarary();
        CIMapi::m_isMailAvail = -1;
        unsetenv("VARNEX_MAPI_SEND_RESULT");
        unsetenv("VARNEX_MAPI_LOGON_RESULT");
    }
    void InstallModule(const std::string& built) { modules.Install("mapi", built); }
    std::vector<std::string> Outbox() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto it = fs::directory_iterator(logon.Home() + "/mail/outbox", ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            if (it->path().extension() == ".eml") out.push_back(it->path());
        return out;
    }

    ScopedModules modules;
    ScopedEnv record{"VARNEX_MAPI_RECORD", dir / "record"};
    NoDesktopSession noDesktop;  // the shipped module never reaches a real mail program
};

}  // namespace

TEST_F(MailSendTest, MessageReachesTheModuleWithOneSpacePerAttachmentAndOnlyAFailedSendIsTold) {
    InstallModule("mapi_recorder");
    WriteFile(dir / "a.pkg", "A");
    std::string a = dir / "a.pkg", b = dir / "b.pkg";
    CIMapi mail;
    ASSERT_EQ(mail.LoadLibraryA(), 1);
    mail.Subject("季度报告");
    mail.Text("see attached");
    mail.From("alice");
    EXPECT_EQ(mail.To("bob@example.org"), 1);
    EXPECT_EQ(mail.Cc("carol"), 1);
    EXPECT_EQ(mail.Attach(a.c_str(), "a.pkg"), 1);
    EXPECT_EQ(mail.Attach(b.c_str()), 1);
    CIMapi copy(mail);  // owns its own arrays: the original may go first
    { CIMapi gone(mail); }
    EXPECT_EQ(copy.Send(), 1);
    EXPECT_EQ(ReadFile(dir / "record"),
              "subject=季度报告\nnote=[see attached  ]\nfrom=alice\nto=bob@example.org\n"
              "cc=carol\nfile=12|" +
                  a + "|a.pkg\nfile=13|" + b + "|\n");
    EXPECT_EQ(copy.NoteText(), "see attached  ");
    EXPECT_EQ(mail.NoteText(), "see attached");

    fs::remove(dir / "record");
    CIMapi plain;
    ASSERT_EQ(plain.LoadLibraryA(), 1);
    plain.Text("no files");
    EXPECT_EQ(plain.Send(), 1);
    EXPECT_NE(ReadFile(dir / "record").find("note=[no files]\n"), std::string::npos);
    EXPECT_TRUE(host.Messages().empty());

    // The mail program's answers: only a failed send is told.
    for (auto [logonResult, sendResult, result, shown] :
         {std::tuple{"0", "1", 1, false}, {"0", "3", 1, false}, {"0", "2", 0, true}, {"3", "0", 0, false}}) {
        setenv("VARNEX_MAPI_LOGON_RESULT", logonResult, 1);
        setenv("VARNEX_MAPI_SEND_RESULT", sendResult, 1);
        EXPECT_EQ(plain.Send(), result) << logonResult << sendResult;
        EXPECT_EQ(host.MessageTexts(), shown ? std::vector<std::string>{"发送邮件失败."} : std::vector<std::string>{});
        host.Clear();
    }
}

// A module that cannot be loaded (a file found before the shipped one that is no module) counts
// as missing.
TEST_F(MailSendTest, MissingModuleAndMissingEntryPointAreErrorsOneAndTwo) {
    WriteFile(modules.Path() + "/mapi.so", "not a module");
    CIMapi mail;
    EXPECT_EQ(mail.LoadLibraryA(), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"mail.MapiMissing"});
    EXPECT_EQ(mail.Error(), 1u);
    EXPECT_EQ(mail.Error(), 0u) << "Error() resets";

    fs::remove(modules.Path() + "/mapi.so");
    InstallModule("mapi_partial");
    host.Clear();
    EXPECT_EQ(mail.LoadLibraryA(), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"mail.MapiCannotSend"});
    EXPECT_EQ(mail.Error(), 2u);

    EXPECT_EQ(CIMapi::HasEmail(), 0) << "\"MAPI\" of \"MAIL\" is not set";
    CIMapi::m_isMailAvail = -1;
    ASSERT_TRUE(logon.SetOption("MAIL", "MAPI", "1"));
    EXPECT_EQ(CIMapi::HasEmail(), 1);
}

TEST_F(MailSendTest, ShippedModuleComposesIntoTheOutboxAndHandsToTheOpener) {
    // Without the variable the module is found where the build puts it, beside the program.
    {
        ScopedEnv none("VARNEX_MODULE_PATH", nullptr);
        EXPECT_EQ(CModule::FindModule("mapi"),
                  fs::canonical(std::string(VARNEX_TEST_MODULE_DIR) + "/mapi.so").string());
    }
    InstallModule("mapi");
    WriteFile(dir / "report.pdf", RandomBytes(5000, 7));
    std::string path = dir / "report.pdf";
    CIMapi mail;
    ASSERT_EQ(mail.LoadLibraryA(), 1);
    mail.Subject("报告");
    mail.Text("正文");
    mail.To("Bob <bob@example.org>");
    mail.Attach(path.c_str(), "报告.pdf");
    ASSERT_EQ(mail.Send(), 1);
    ASSERT_EQ(Outbox().size(), 1u);
    std::string eml = ReadFile(Outbox()[0]);
    EXPECT_NE(eml.find("To: Bob <bob@example.org>"), std::string::npos);
    EXPECT_NE(eml.find("Content-Transfer-Encoding: base64"), std::string::npos);
    ASSERT_EQ(host.Messages().size(), 1u) << "left in the outbox, and told so";
    EXPECT_EQ(host.Messages()[0].id, msg::mail::LeftInOutbox.Id());
    EXPECT_NE(host.Messages()[0].text.find(Outbox()[0]), std::string::npos);

    // An opener configured in the store is given the message.
    WriteFile(dir / "opener", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/opened\"\n");
    fs::permissions(dir / "opener", fs::perms::owner_all);
    ASSERT_TRUE(logon.SetOption("MAIL", "Opener", dir / "opener"));
    host.Clear();
    CIMapi second;
    ASSERT_EQ(second.LoadLibraryA(), 1);
    second.Subject("again");
    ASSERT_EQ(second.Send(), 1);
    EXPECT_TRUE(host.Messages().empty());
    ASSERT_EQ(Outbox().size(), 2u);
    std::string opened = ReadFile(dir / "opened");
    EXPECT_TRUE(opened == Outbox()[0] + "\n" || opened == Outbox()[1] + "\n");
}

TEST_F(MailSendTest, LauncherDeletesOnlyFlaggedAttachmentsOnceTheMessageHoldsThem) {
    for (const char* name : {"keep", "drop", "plain"}) WriteFile(dir / name, name);
    CMailStart launcher;
    launcher.SetSubject("files");
    launcher.AddAttachFile((dir / "keep").c_str());
    launcher.SetNoDeleteFileFlag(0);
    launcher.AddAttachFile((dir / "drop").c_str());
    launcher.SetDeleteFileFlag(1);
    launcher.AddAttachFile((dir / "plain").c_str());
    launcher.AddAttachFile((dir / "missing").c_str());
    launcher.SetDeleteFileFlag(3);

    CMailStart failing(launcher);  // one attachment cannot be read: nothing is deleted
    EXPECT_EQ(failing.Sendmail(), 0);
    EXPECT_TRUE(fs::exists(dir / "drop"));
    EXPECT_TRUE(Outbox().empty());
    EXPECT_EQ(host.Messages().size(), 1u);

    WriteFile(dir / "missing", "now here");
    host.Clear();
    EXPECT_EQ(launcher.Sendmail(), 1);
    EXPECT_TRUE(fs::exists(dir / "keep"));
    EXPECT_TRUE(fs::exists(dir / "plain"));
    EXPECT_FALSE(fs::exists(dir / "drop"));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    ASSERT_EQ(Outbox().size(), 1u);
    EXPECT_NE(ReadFile(Outbox()[0]).find("filename=drop"), std::string::npos);
}
