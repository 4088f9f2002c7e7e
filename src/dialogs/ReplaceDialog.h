#pragma once
// The replace question every restoring operation asks before it overwrites an existing file.

#include <cstdint>
#include <string>

#include "dialogs/Messages.h"
#include "platform/UiHost.h"

// Answers of the replace question.
enum ReplaceAnswer : int {
    kReplace = 0,        // "替换(Y)"
    kReplaceAll = 1,     // "替换所有(A)"
    kReplaceCancel = 2,  // "取消(&C)", or the window closed
    kReplaceKeep = 3,    // "不替换(&N)"; also when the dialog ends any other way
    kReplaceNone = 4,    // "都不替换(&G)"
};

// Asks whether the existing file at path is to be replaced by one with the given 14-digit
// time stamp and size; returns a ReplaceAnswer.
extern "C" int MsgReplace(const char* path, const char* timeStamp, int size);

// A size as the replace question shows it: bytes below 1 KB, else KB or MB with two decimals.
std::string ReplaceSizeText(uint32_t size);

// Script words: yes, all, no, none, cancel. Unanswered, it keeps the file.
class CDlgReplace : public DialogModel {
public:
    enum : int { kIdReplace = 6007, kIdReplaceAll = 6008, kIdKeep = 3, kIdKeepAll = 4, kIdCancel = 2 };

    // Reads the existing file's time and size now, as the dialog does when it opens.
    CDlgReplace(const char* path, const char* timeStamp, int size);

    std::string Kind() const override { return "replace"; }
    int TemplateId() const override { return 6000; }
    std::string Title() const override { return MessageText(msg::dialogs::ReplaceTitle); }
    std::vector<std::string> Lines() const override { return m_lines; }
    std::vector<DialogButton> Buttons() const override;
    std::string CancellingAnswer() const override { return "no"; }
    int Press(int buttonId) override;
    int Close() override { return m_result = kReplaceCancel; }

    int Result() const { return m_result; }

private:
    std::vector<std::string> m_lines;
    int m_result = kReplaceKeep;
};
