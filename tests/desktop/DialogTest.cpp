// Each dialog as the person meets it: what its buttons answer the engine, what Escape and Enter
// do, and what the password entry says about a short password.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "ModelDialog.h"
#include "ShowDialog.h"
#include "TestSupport.h"
#include "dialogs/FileListDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "dialogs/VerifyDialog.h"
#include "password/PasswordDialog.h"

namespace {

struct Shown {
    std::unique_ptr<DialogModel> model;
    std::unique_ptr<ModelDialog> dialog;
};

Shown Show(std::unique_ptr<DialogModel> model) {
    Shown s{std::move(model), nullptr};
    s.dialog = MakeDialog(*s.model, nullptr);
    s.dialog->show();
    return s;
}

std::unique_ptr<DialogModel> Replace(const std::string& existing) {
    return std::make_unique<CDlgReplace>(existing.c_str(), "20240102030405", 2048);
}

}  // namespace

TEST(DesktopDialogs, PasswordEntryRefusesFiveCharactersAndSaysWhy) {
    Shown s = Show(std::make_unique<CDlgPassword>());
    QPushButton* confirm = s.dialog->Button(CDlgPassword::kIdConfirm);
    ASSERT_NE(confirm, nullptr);
    EXPECT_EQ(s.dialog->Entry()->echoMode(), QLineEdit::Password);

    QTest::keyClicks(s.dialog->Entry(), "abcde");
    EXPECT_FALSE(confirm->isEnabled());
    EXPECT_TRUE(s.dialog->Refusal()->isVisible());
    EXPECT_EQ(s.dialog->Refusal()->text().toStdString(), MessageText(msg::password::TooShort));
    QTest::keyClick(s.dialog->Entry(), Qt::Key_Return);
    EXPECT_TRUE(s.dialog->isVisible()) << "Enter must not take a refused entry";

    QTest::keyClicks(s.dialog->Entry(), "f");
    EXPECT_TRUE(confirm->isEnabled());
    EXPECT_TRUE(s.dialog->Refusal()->text().isEmpty());
    QTest::keyClick(s.dialog->Entry(), Qt::Key_Return);
    EXPECT_EQ(s.dialog->Answer(), CDlgPassword::kIdConfirm);
    EXPECT_EQ(static_cast<CDlgPassword&>(*s.model).Password().view(), "abcdef");
    EXPECT_TRUE(s.dialog->Entry()->text().isEmpty()) << "the typed password stays in the widget";
}

TEST(DesktopDialogs, ReplaceQuestionDefaultsToKeepAndEscapeCancels) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    {
        Shown s = Show(Replace(dir / "a.txt"));
        EXPECT_TRUE(s.dialog->Button(CDlgReplace::kIdKeep)->isDefault());
        QTest::keyClick(s.dialog.get(), Qt::Key_Escape);
        EXPECT_EQ(s.dialog->Answer(), kReplaceCancel);
    }
    {
        Shown s = Show(Replace(dir / "a.txt"));
        QTest::keyClick(s.dialog.get(), Qt::Key_Return);
        EXPECT_EQ(s.dialog->Answer(), kReplaceKeep);
    }
}

// Every button of every kind of dialog gives the engine the answer its model expects, and
// every button has a keyboard mnemonic.
TEST(DesktopDialogs, EachButtonGivesTheModelsAnswer) {
    TempDir dir;
    WriteFile(dir / "a.txt", "old");
    const std::string file = dir / "a.txt";
    auto password = [] { return std::make_unique<CDlgPassword>(); };
    auto replace = [&] { return Replace(file); };
    auto list = [] { return std::make_unique<CDlgFileList>(std::string_view("/tmp/x|/tmp/y|")); };
    auto report = [&] {
        VerifyRecord record;
        record.filePath = file;
        record.signerName = "Alice";
        record.signTime = "20240102030405";
        record.modifyTime = "20240102030405";
        record.size = 3;
        return std::make_unique<CDlgVerify>(record, 1);
    };
    struct Case {
        const char* what;
        std::function<std::unique_ptr<DialogModel>()> make;
        int button;
        int answer;
    } cases[] = {
        {"password cancel", password, CDlgPassword::kIdCancel, CDlgPassword::kIdCancel},
        {"replace yes", replace, CDlgReplace::kIdReplace, kReplace},
        {"replace all", replace, CDlgReplace::kIdReplaceAll, kReplaceAll},
        {"replace no", replace, CDlgReplace::kIdKeep, kReplaceKeep},
        {"replace none", replace, CDlgReplace::kIdKeepAll, kReplaceNone},
        {"replace cancel", replace, CDlgReplace::kIdCancel, kReplaceCancel},
        {"file list ok", list, 1, 1},
        {"report ok", report, 1, 1},
    };
    for (const Case& c : cases) {
        Shown s = Show(c.make());
        for (const DialogButton& b : s.model->Buttons())
            EXPECT_TRUE(s.dialog->Button(b.id)->text().contains(QLatin1Char('&'))) << c.what << ": " << b.caption;
        QTest::mouseClick(s.dialog->Button(c.button), Qt::LeftButton);
        EXPECT_EQ(s.dialog->Answer(), c.answer) << c.what;
        EXPECT_FALSE(s.dialog->isVisible()) << c.what;
    }
}
