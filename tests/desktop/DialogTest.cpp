// Each dialog as the person meets it: what its buttons answer the engine, what Escape and Enter
// do, and what the password entry says about a short password.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "ModelDialog.h"
#include "QtUiHost.h"
#include "ShowDialog.h"
#include "TestSupport.h"
#include "dialogs/FileListDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "dialogs/VerifyDialog.h"
#include "password/PasswordDialog.h"
#include "platform/MessageBox.h"
#include "shell/PropertySheets.h"

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

// A message box shows the icon its type asks for, defaults to the first answer unless told
// otherwise, and Escape gives the answer nobody answering would give.
TEST(DesktopDialogs, MessageBoxIconDefaultAndEscape) {
    struct Case {
        unsigned type;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton defaultButton;
        int escape;
    } cases[] = {
        {MB_OK | MB_ICONSTOP, QMessageBox::Critical, QMessageBox::Ok, IDOK},
        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, QMessageBox::Yes, IDNO},
        {MB_RETRYCANCEL | MB_ICONEXCLAMATION, QMessageBox::Warning, QMessageBox::Retry, IDCANCEL},
        {MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, QMessageBox::Warning, QMessageBox::No, IDNO},
    };
    QtUiHost host;
    for (const Case& c : cases) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            icon = box->icon();
            defaultButton = box->standardButton(box->defaultButton());
            QTest::keyClick(box, Qt::Key_Escape);
        });
        EXPECT_EQ(host.MessageBox("text", c.type), c.escape) << c.type;
        EXPECT_EQ(icon, c.icon) << c.type;
        EXPECT_EQ(defaultButton, c.defaultButton) << c.type;
    }
}

// The file's sheet: only the read-only box can be changed here, the others are shown disabled;
// ticking it and pressing OK makes the file read-only.
TEST(DesktopDialogs, PropertySheetAppliesWhatCanBeApplied) {
    TempDir dir;
    WriteFile(dir / "a.txt", "text");
    std::unique_ptr<CPropertySheet> sheet = MakeFileSheet(dir / "a.txt");
    std::unique_ptr<ModelDialog> dialog = MakeDialog(*sheet, nullptr);
    dialog->show();
    QCheckBox* readOnly = nullptr;
    int disabled = 0;
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>()) {
        if (box->isEnabled())
            readOnly = box;
        else
            ++disabled;
    }
    ASSERT_NE(readOnly, nullptr);
    EXPECT_GT(disabled, 0);
    EXPECT_FALSE(readOnly->isChecked());
    readOnly->click();
    dialog->Button(IDOK)->click();
    EXPECT_EQ(dialog->Answer(), IDOK);
    EXPECT_EQ(ModeOf(dir / "a.txt") & 0222, 0u);
}
