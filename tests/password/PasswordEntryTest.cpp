#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "password/PasswordDialog.h"

namespace {

class PasswordEntry : public HostTest {
protected:
    CKorvane engine;
    char password[996] = "unchanged";
};

TEST(PasswordDialog, ConfirmFollowsTheEntryFromTheStartAndCountsCharacters) {
    CDlgPassword dialog;
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm)) << "an empty entry is never confirmed";
    dialog.SetPassword("abc");
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm)) << "nor a short one set without an edit";
    dialog.SetInput("abcde");
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm));
    dialog.SetInput("abcdef");
    EXPECT_TRUE(dialog.CanPress(CDlgPassword::kIdConfirm));
    dialog.SetInput("abcde");
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm));
    EXPECT_EQ(dialog.Press(CDlgPassword::kIdConfirm), CDlgPassword::kIdCancel);
    dialog.SetInput("密码密码密");  // five characters, fifteen bytes
    EXPECT_FALSE(dialog.CanPress(CDlgPassword::kIdConfirm));
    dialog.SetInput("密码密码密码");
    EXPECT_TRUE(dialog.CanPress(CDlgPassword::kIdConfirm));
    EXPECT_TRUE(dialog.CanPress(CDlgPassword::kIdCancel));
    EXPECT_TRUE(dialog.MaskInput());
}

TEST_F(PasswordEntry, SamePasswordTwiceIsHandedOver) {
    host.AddAnswer("password", "Secret-1");
    ASSERT_EQ(engine.GetPasswd(password), 1);
    EXPECT_STREQ(password, "Secret-1");
    ASSERT_EQ(host.Dialogs().size(), 2u);
    EXPECT_EQ(host.Dialogs()[0].title, "输入密钥");
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(PasswordEntry, EntriesDifferingInCaseShowTheMismatch) {
    host.AddAnswer("password", "Secret-1");
    host.AddAnswer("password", "secret-1");
    EXPECT_EQ(engine.GetPasswd(password), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string> {"对不起，两次输入的密钥不一致."});
    EXPECT_STREQ(password, "unchanged");
}

TEST_F(PasswordEntry, CancelOrAShortPasswordOnEitherRunReturnsZeroSilently) {
    host.AddAnswer("password", "Secret-1");
    host.AddAnswer("password", "cancel");
    EXPECT_EQ(engine.GetPasswd(password), 0);
    ScriptedHost shortHost;
    ScopedUiHost installed(shortHost);
    shortHost.AddAnswer("password", "abc");
    EXPECT_EQ(engine.GetPasswd(password), 0);
    EXPECT_EQ(shortHost.Dialogs().size(), 1u);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(shortHost.Messages().empty());
    EXPECT_STREQ(password, "unchanged");
}

TEST_F(PasswordEntry, LongestPasswordFitsTheCallersBuffer) {
    std::string typed(2000, 'k');
    typed.replace(993, 3, "密");  // a character across the 995-byte limit is not cut in half
    host.AddAnswer("password", typed);
    ASSERT_EQ(engine.GetPasswd(password), 1);
    EXPECT_EQ(std::strlen(password), 993u);
}

}  // namespace
