#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/MessageBox.h"
#include "platform/PrintableText.h"
#include "platform/ScriptedHost.h"
#include "platform/TerminalHost.h"

namespace {

// A two-button dialog with an entry field, enough to drive the host's answering rules.
class AskDialog : public DialogModel {
public:
    std::string Kind() const override { return "ask"; }
    int TemplateId() const override { return 1; }
    std::string Title() const override { return "Ask"; }
    std::vector<std::string> Lines() const override { return {"question"}; }
    std::vector<DialogButton> Buttons() const override { return {{10, "Go", "go"}, {11, "Stop", "stop"}}; }
    int DefaultButton() const override { return 10; }
    bool HasInput() const override { return true; }
    std::string Input() const override { return input; }
    void SetInput(std::string_view s) override { input = s; }
    bool CanPress(int id) const override { return id != 10 || input.size() >= 3; }
    int Press(int id) override { return id; }
    int Close() override { return -1; }
    std::string input;
};

}  // namespace

TEST(ScriptedHost, AnswersInOrderRepeatsTheLastAndCancelsWhatIsNotCovered) {
    ScriptedHost host;
    ASSERT_TRUE(host.AddAnswers("yes-no=yes,yes-no=no,retry=ignore"));
    EXPECT_EQ(host.MessageBox("q1", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(host.MessageBox("q2", MB_YESNO), IDNO);
    EXPECT_EQ(host.MessageBox("q3", MB_YESNO), IDNO);
    EXPECT_EQ(host.MessageBox("r", MB_ABORTRETRYIGNORE), IDIGNORE);
    EXPECT_EQ(host.MessageBox("c", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(host.MessageBox("plain", MB_ICONSTOP), IDOK);
    ASSERT_EQ(host.Messages().size(), 6u);
    EXPECT_EQ(host.Messages()[5].type, unsigned{MB_ICONSTOP});
    EXPECT_FALSE(host.AddAnswers("novalue"));
}

TEST(ScriptedHost, DialogAnswerIsAButtonWordOrTheEntryText) {
    ScriptedHost host;
    AskDialog byWord, byText, refused;
    for (const char* answer : {"stop", "hello", "hi"}) host.AddAnswer("ask", answer);
    EXPECT_EQ(host.RunDialog(byWord), 11);
    EXPECT_EQ(host.RunDialog(byText), 10);
    EXPECT_EQ(byText.input, "hello");
    // An entry the dialog will not accept leaves the dialog to be closed.
    EXPECT_EQ(host.RunDialog(refused), -1);
    ASSERT_EQ(host.Dialogs().size(), 3u);
    EXPECT_EQ(host.Dialogs()[2].result, -1);
}

// Text a file supplied never forges a line, drives the terminal or breaks a JSON document.
TEST(PrintableText, ControlsMarksAndStrayBytesAreEscapedInEachForm) {
    struct Case {
        std::string text, line, lines, json;
    };
    for (const Case& c : std::vector<Case>{
             {"plain 名字.txt", "plain 名字.txt", "plain 名字.txt", "plain 名字.txt"},
             {"a\nb\r\nc", "a\\nb\\r\\nc", "a\nb\nc", "a\\nb\\r\\nc"},
             {"x\x1b[2Jy\t\x7f", "x\\x1b[2Jy\\t\\x7f", "x\\x1b[2Jy\\t\\x7f", "x\\u001b[2Jy\\t\\u007f"},
             {"\"q\" \\", "\"q\" \\", "\"q\" \\", "\\\"q\\\" \\\\"},
             {"c1 \xc2\x9b"
              "31m",
              "c1 \\u009b31m", "c1 \\u009b31m", "c1 \\u009b31m"},
             {"abc\xe2\x80\xaetxt.exe", "abc\\u202etxt.exe", "abc\\u202etxt.exe", "abc\\u202etxt.exe"},
             {"bad \xff\xc3 \xed\xa0\x80 \xc0\xaf", "bad \\xff\\xc3 \\xed\\xa0\\x80 \\xc0\\xaf",
              "bad \\xff\\xc3 \\xed\\xa0\\x80 \\xc0\\xaf", "bad \\\\xff\\\\xc3 \\\\xed\\\\xa0\\\\x80 \\\\xc0\\\\xaf"},
             {"cut \xe5\x90", "cut \\xe5\\x90", "cut \\xe5\\x90", "cut \\\\xe5\\\\x90"},
         }) {
        EXPECT_EQ(EscapeText(c.text), c.line) << c.text;
        EXPECT_EQ(EscapeText(c.text, TextEscape::kLines), c.lines) << c.text;
        EXPECT_EQ(EscapeText(c.text, TextEscape::kJson), c.json) << c.text;
    }
    EXPECT_EQ(OneLineMessage("打开文件失败.\n\x1b[2J", "pkg\n"), "varnex: pkg\\n: 打开文件失败.\\n\\x1b[2J");
}
