#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "password/PasswordDialog.h"

TEST(PasswordDialog, ConfirmFollowsTheEntryFromTheStartAndCountsCharacters) {
    CDlgPassword dialog;
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm)) << "an empty entry is never confirmed";
    dialog.SetPassword("abc");
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm)) << "nor a short one set without an edit";
    std::vector<bool> enabled;
    for (const char* typed : {"abcde", "abcdef", "abcde", "密码密码密", "密码密码密码"}) {
        dialog.SetInput(typed);
        enabled.push_back(dialog.CanPress(CDlgPassword::kIdConfirm));
    }
    EXPECT_EQ(enabled, (std::vector<bool>{false, true, false, false, true}));
    dialog.SetInput("abcde");
    EXPECT_EQ(dialog.Press(CDlgPassword::kIdConfirm), CDlgPassword::kIdCancel);
}

class PasswordEntry : public HostTest {
protected:
    // GetPasswd with the password dialog answered by `answers` in order.
    int Ask(std::initializer_list<std::string> answers) {
        ScriptedHost script;
        ScopedUiHost installed(script);
        for (const std::string& a : answers) script.AddAnswer("password", a);
        std::strcpy(password, "unchanged");
        int result = engine.GetPasswd(password);
        messages = script.MessageTexts();
        runs = script.Dialogs().size();
        return result;
    }

    CKorvane engine;
    char password[996];
    std::vector<std::string> messages;
    size_t runs = 0;
};

TEST_F(PasswordEntry, BothRunsMustConfirmTheSameTextOnlyAMismatchIsShown) {
    EXPECT_EQ(Ask({"Secret-1"}), 1);
    EXPECT_STREQ(password, "Secret-1");
    EXPECT_EQ(runs, 2u);
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(Ask({"Secret-1", "secret-1"}), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"对不起，两次输入的密钥不一致."});
    EXPECT_STREQ(password, "unchanged");

    EXPECT_EQ(Ask({"Secret-1", "cancel"}), 0);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Ask({"abc"}), 0) << "a short password cannot be confirmed";
    EXPECT_EQ(runs, 1u);
    EXPECT_TRUE(messages.empty());
    EXPECT_STREQ(password, "unchanged");

    std::string longest(2000, 'k');
    longest.replace(993, 3, "密");  // a character across the 995-byte limit is not cut in half
    EXPECT_EQ(Ask({longest}), 1);
    EXPECT_EQ(std::strlen(password), 993u);
}
