#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "TestSupport.h"
#include "dialogs/DecryptToDialog.h"
#include "dialogs/MessagePump.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "dialogs/VerifyDialog.h"
#include "password/PasswordDialog.h"
#include "platform/MessageBox.h"
#include "platform/TerminalHost.h"

namespace {

class OperationDialogs : public HostTest {
protected:
    bool Shows(const std::string& line) const {
        const auto& lines = host.Dialogs().back().lines;
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(OperationDialogs, ReplaceQuestionShowsBothFilesAndSizesAndEveryButtonHasItsAnswer) {
    std::string path = dir / "old.txt";
    WriteFile(path, std::string(1023, 'x'));
    struct timespec times[2] = {{0, UTIME_OMIT}, {0, 0}};
    struct tm local {};
    local.tm_year = 103, local.tm_mon = 0, local.tm_mday = 5, local.tm_hour = 9, local.tm_min = 7, local.tm_sec = 3;
    local.tm_isdst = -1;
    times[1].tv_sec = mktime(&local);
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    EXPECT_EQ(MsgReplace(path.c_str(), "20240301120000", 1024), kReplaceKeep) << "nobody answered: keep";
    EXPECT_EQ(host.Dialogs().back().title, "确认文件替换");
    EXPECT_TRUE(Shows("文件\"" + path + "\"已存在."));
    EXPECT_TRUE(Shows("修改时间: 2003年01月05日 09:07:03"));
    EXPECT_TRUE(Shows("1023字节"));
    EXPECT_TRUE(Shows("修改时间: 2024年03月01日 12:00:00"));
    EXPECT_TRUE(Shows("1.00KB"));

    EXPECT_EQ(ReplaceSizeText(1048575), "1024.00KB");
    EXPECT_EQ(ReplaceSizeText(1048576), "1.00MB");
    EXPECT_EQ(ReplaceSizeText(0), "0字节");
    MsgReplace(path.c_str(), "2024", -1);
    EXPECT_TRUE(Shows("4096.00MB")) << "sizes are unsigned";
    EXPECT_TRUE(Shows("修改时间: 2024年月日 ::")) << "a short time stamp is not read past";

    for (const char* word : {"yes", "all", "no", "none", "cancel"}) host.AddAnswer("replace", word);
    std::vector<int> answers;
    for (int i = 0; i < 5; ++i) answers.push_back(MsgReplace(path.c_str(), "20030105090703", 1));
    EXPECT_EQ(answers, (std::vector<int>{0, 1, 3, 4, 2}));
    CDlgReplace dialog(path.c_str(), "20030105090703", 1);
    EXPECT_EQ(dialog.Close(), 2) << "closing cancels";
    EXPECT_EQ(MsgReplace(nullptr, nullptr, 0), 2) << "the last answer repeats; no crash on null";
}

TEST_F(OperationDialogs, ProgressWindowFollowsPayloadsUntilItIsClosed) {
    CDlgProgress progress("解密文件", "正在解密文件...");
    ProgressPayload p{100, {}};
    std::strcpy(p.path, "/out/a.txt");
    SendMessageTo(&progress, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
    EXPECT_EQ(progress.Bar(), 100);
    EXPECT_EQ(progress.PercentText(), "100%");
    EXPECT_EQ(progress.PathText(), "/out/a.txt");

    // A path that fills the payload without a terminator is cut at the payload's end.
    p.percent = 40;
    std::memset(p.path, 'p', sizeof p.path);
    PostMessage(&progress, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
    DoEvents();
    EXPECT_EQ(progress.PathText().size(), sizeof p.path);
    EXPECT_EQ(progress.PercentText(), "40%");

    SendMessageTo(&progress, WM_PROGRESS_CLOSE);
    EXPECT_FALSE(progress.IsOpen());
    EXPECT_EQ(SendMessageTo(nullptr, WM_PROGRESS_END), 0);
    p.percent = 70;
    SendMessageTo(&progress, WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
    ASSERT_EQ(host.Progress().size(), 2u);
    EXPECT_EQ(host.Progress()[0].title, "解密文件");
    EXPECT_EQ(host.Progress()[1].percent, 40);
}

TEST_F(OperationDialogs, FolderChoiceTakesTypedAbsoluteOrRelativeFoldersOrCancels) {
    std::filesystem::create_directories(dir / "b");
    std::filesystem::create_directories(dir / "a");
    WriteFile(dir / "file", "x");
    host.AddAnswer("folder", "/tmp/out");
    host.AddAnswer("folder", "a/deeper");
    host.AddAnswer("folder", "ok");
    CDlgDecryptTo first(dir.Path());
    EXPECT_EQ(host.RunDialog(first), CDlgDecryptTo::kIdDecrypt);
    EXPECT_EQ(first.Folder(), "/tmp/out");
    EXPECT_EQ(host.Dialogs().back().lines, (std::vector<std::string>{dir.Path(), "a/  b/"}));
    CDlgDecryptTo second(dir.Path());
    EXPECT_EQ(host.RunDialog(second), CDlgDecryptTo::kIdDecrypt);
    EXPECT_EQ(second.Folder(), dir / "a/deeper");
    CDlgDecryptTo proposed(dir.Path());
    EXPECT_EQ(host.RunDialog(proposed), CDlgDecryptTo::kIdDecrypt);
    EXPECT_EQ(proposed.Folder(), dir.Path());

    ScriptedHost silent;
    CDlgDecryptTo unanswered(dir.Path());
    EXPECT_EQ(silent.RunDialog(unanswered), CDlgDecryptTo::kIdCancel);
    CDlgDecryptTo empty("");
    empty.SetInput("");
    EXPECT_FALSE(empty.CanPress(CDlgDecryptTo::kIdDecrypt));
}

TEST_F(OperationDialogs, VerifyReportShowsVerdictSignerTimesAndBothFileStates) {
    std::string path = dir / "signed.txt";
    WriteFile(path, "12345");
    VerifyRecord record{path, "Alice Li<a@x.cn>", "20030517093005", "20030105090703", 4};
    CDlgVerify changed(record, 0);
    EXPECT_EQ(changed.ResultLine(), "验证结果：验证数字签名不正确");
    EXPECT_EQ(changed.SignerLine(), "签名人: Alice Li<a@x.cn>");
    EXPECT_EQ(changed.TimeLine(), "签名时间: 2003年05月17日 09:30:05");
    std::string expectedStart =
        path + "\r\n自签名后内容已改动.\r\n\r\n签名时文件状态:\r\n" +
        "修改时间: 2003年01月05日 09:07:03 \r\n文件大小: 4字节\r\n\r\n当前文件状态:\r\n修改时间: ";
    EXPECT_EQ(changed.Text().substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(changed.Text().find("文件大小: 5字节\r\n"), std::string::npos);

    EXPECT_TRUE(host.Messages().empty());
    record.filePath = dir / "gone.txt";
    CDlgVerify missing(record, 1);
    EXPECT_EQ(missing.Text().find("当前文件状态"), std::string::npos);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text.rfind("打开文件失败.\n", 0), 0u);
}

// What a terminal host writes while `use` runs with it installed, fed with `typed` through a
// pipe (the host reads its input's descriptor).
std::string OnTerminal(bool interactive, bool showProgress, const std::string& typed,
                       const std::function<void(TerminalHost&)>& use) {
    int fds[2];
    if (::pipe(fds) != 0 || ::write(fds[1], typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    ::close(fds[1]);
    FILE* in = fdopen(fds[0], "r");
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    {
        TerminalHost terminal(in, out, interactive, showProgress);
        ScopedUiHost installed(terminal);
        use(terminal);
    }
    std::fclose(out);
    std::string written(text, size);
    std::free(text);
    std::fclose(in);
    return written;
}

TEST(TerminalProgress, DrawsABarInPlaceOnATerminalAndNothingOtherwise) {
    auto run = [](TerminalHost&) {
        CDlgProgress progress("加密文件", "正在加密文件...");
        ProgressPayload p{50, "/home/user/a.txt"};
        progress.SendMessage(WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
        p.percent = 100;
        progress.SendMessage(WM_PROGRESS_FILE, 0, reinterpret_cast<LPARAM>(&p));
    };
    std::string drawn = OnTerminal(false, true, "", run);
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\r'), 2);
    EXPECT_NE(drawn.find(" 50% /home/user/a.txt"), std::string::npos);
    EXPECT_NE(drawn.find("100% /home/user/a.txt"), std::string::npos);
    EXPECT_EQ(drawn.back(), '\n') << "closing the window ends the line";
    EXPECT_EQ(OnTerminal(false, false, "", run), "");
}

TEST(TerminalMessages, AFileNamesLineBreakNeverStartsALineOfItsOwn) {
    // A name read from a package, holding a line break and a fake verdict, inside a message
    // shown at a terminal: its further line is indented and its controls escaped.
    const std::string text = "打开文件失败.\nx\nvarnex: 验证数字签名正确\x1b[2J";
    const std::string expected = "打开文件失败.\n  x\n  varnex: 验证数字签名正确\\x1b[2J\n";
    EXPECT_EQ(OnTerminal(true, false, "", [&](TerminalHost& t) { t.MessageBox(text, MB_OK); }), expected);
}

TEST_F(OperationDialogs, TerminalAnswersDialogsByWordNumberOrEntry) {
    WriteFile(dir / "f", "x");
    auto answer = [](DialogModel& dialog, const std::string& typed, int* result) {
        return OnTerminal(true, false, typed, [&](TerminalHost& t) { *result = t.RunDialog(dialog); });
    };
    int result = -1;
    CDlgReplace replace((dir / "f").c_str(), "20030105090703", 1);
    EXPECT_NE(answer(replace, "none\n", &result).find("[3] 不替换(N)"), std::string::npos);
    EXPECT_EQ(result, kReplaceNone);
    answer(replace, "2\n", &result);
    EXPECT_EQ(result, kReplaceAll);
    answer(replace, "", &result);
    EXPECT_EQ(result, kReplaceCancel) << "input ended: the window is closed";

    CDlgDecryptTo folder(dir.Path());
    answer(folder, "\n", &result);
    EXPECT_EQ(result, CDlgDecryptTo::kIdDecrypt);
    EXPECT_EQ(folder.Folder(), dir.Path()) << "Enter takes the proposed folder";

    // A short password is asked again, saying why; an empty entry offers the buttons, where
    // cancel is.
    CDlgPassword password;
    password.SetPrompt("请输入加密密钥:");
    std::string shown = answer(password, "abc\n\n1\n2\n", &result);
    EXPECT_EQ(result, CDlgPassword::kIdCancel);
    EXPECT_NE(shown.find("请输入加密密钥: 密钥太短: 至少六个字符, 请重新输入.\n请输入加密密钥: "), std::string::npos)
        << shown;
    EXPECT_EQ(shown.find("abc"), std::string::npos) << "a masked entry is never shown";
    answer(password, "abcdefg\n", &result);
    EXPECT_EQ(result, CDlgPassword::kIdConfirm);

    // Without a terminal nobody answers: the question is printed with how a script answers it,
    // and the cancelling answer is taken.
    // Each further line of a text is a line of its own, indented under the first.
    int box = 0;
    std::string unanswered = OnTerminal(false, false, "", [&](TerminalHost& t) {
        t.SetSubject("/d/a.txt");
        box = t.MessageBox("创建文件失败.Is a directory.\r\n\n是否继续?", MB_YESNO);
        t.SetSubject({});
    });
    EXPECT_EQ(box, IDNO);
    EXPECT_EQ(unanswered,
              "varnex: /d/a.txt: 创建文件失败.Is a directory.\n  是否继续?\n"
              "varnex: no answer for this question (give --answers yes-no=...)\n");
    EXPECT_NE(OnTerminal(false, false, "", [&](TerminalHost& t) { result = t.RunDialog(replace); })
                  .find("(give --answers replace=...)"),
              std::string::npos);
    EXPECT_EQ(OnTerminal(false, false, "", [&](TerminalHost& t) { t.RunDialog(password); }).find("give --answers"),
              std::string::npos)
        << "a password never comes from --answers";
}

}  // namespace
