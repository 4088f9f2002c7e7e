// Not a test: `./run screenshots` runs it to write a PNG of every dialog, in Chinese and in
// English, into $VARNEX_SCREENSHOT_DIR as DIALOG-zh.png and DIALOG-en.png. It fails when a
// dialog holds a widget wider or taller than the dialog itself, or when Chinese text does not
// render (no font for it: every character the same empty box, or nothing).

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "../desktop/Messages.h"
#include "ActionRunner.h"
#include "CertConfirmation.h"
#include "MainWindow.h"
#include "ModelDialog.h"
#include "ProgressWindow.h"
#include "QtUiHost.h"
#include "RecipientChooser.h"
#include "Recipients.h"
#include "ShowDialog.h"
#include "TestSupport.h"
#include "dialogs/FileListDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "dialogs/VerifyDialog.h"
#include "package/Messages.h"
#include "password/PasswordDialog.h"
#include "platform/MessageBox.h"
#include "platform/MessageCatalogue.h"
#include "shell/PropertySheets.h"

namespace {

void Save(QWidget& widget, const std::string& name, const char* language) {
    widget.adjustSize();
    const QSize size = widget.size();
    for (QWidget* child : widget.findChildren<QWidget*>()) {
        if (!child->isVisible()) continue;
        EXPECT_LE(child->sizeHint().width(), size.width()) << name << ": " << child->metaObject()->className();
        EXPECT_LE(child->sizeHint().height(), size.height()) << name << ": " << child->metaObject()->className();
    }
    const QString dir = qEnvironmentVariable("VARNEX_SCREENSHOT_DIR");
    EXPECT_TRUE(widget.grab().save(dir + QStringLiteral("/%1-%2.png").arg(QString::fromStdString(name), language)))
        << name;
}

void SaveModel(std::unique_ptr<DialogModel> model, const std::string& name, const char* language,
               const std::function<void(ModelDialog&)>& prepare = {}) {
    std::unique_ptr<ModelDialog> dialog = MakeDialog(*model, nullptr);
    dialog->show();
    if (prepare) prepare(*dialog);
    Save(*dialog, name, language);
}

// How many dark pixels a caption has when drawn alone in the dialogs' font.
QImage Drawn(const QString& caption) {
    QLabel label(caption);
    label.adjustSize();
    return label.grab().toImage().convertToFormat(QImage::Format_Grayscale8);
}

int DarkPixels(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
    return dark;
}

// Chinese glyphs render: each of two different characters leaves dark pixels in its row, and
// they differ (a missing font draws every character as the same box, or nothing).
void ExpectChineseGlyphs(const QString& caption) {
    ASSERT_GE(caption.size(), 2);
    const QImage first = Drawn(caption.left(1)), second = Drawn(caption.mid(1, 1));
    EXPECT_GT(DarkPixels(first), 0) << caption.toStdString();
    EXPECT_GT(DarkPixels(second), 0) << caption.toStdString();
    EXPECT_NE(first, second) << caption.toStdString() << ": the characters are drawn alike";
}

std::vector<RecipientRow> SampleRecipients() {
    auto user = [](const char* id, const char* name, int state) {
        RecipientRow row;
        row.id = id;
        row.name = name;
        row.email = std::string(id) + "@example.org";
        row.certName = id;
        row.certState = state;
        return row;
    };
    RecipientRow team;
    team.kind = RecipientRow::Kind::kGroup;
    team.id = team.name = "team";
    team.members = {user("carol", "Carol", kCertNeverConfirmed), user("erin", "Erin", kCertUnknown)};
    team.certState = kCertUnknown;
    return {user("alice", "Alice", kCertConfirmed), user("bob", "Bob", kCertConfirmed),
            user("carol", "Carol", kCertNeverConfirmed), user("dave", "Dave", kCertModified), team};
}

}  // namespace

TEST(DesktopScreens, DISABLED_WriteEveryDialog) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("VARNEX_SCREENSHOT_DIR"));
    QtUiHost runnerHost;
    TempDir dir;
    WriteFile(dir / "report.pdf", std::string(3000, 'x'));
    const std::string file = dir / "report.pdf";
    for (auto [catalogueName, language] : {std::pair{"zh_CN", "zh"}, std::pair{"en", "en"}}) {
        std::unique_ptr<IMessageCatalogue> catalogue = OpenMessageCatalogue(catalogueName);
        ASSERT_TRUE(catalogue) << catalogueName;
        ScopedMessageCatalogue installed(*catalogue);
        QTranslator qtTexts;
        if (qtTexts.load(QStringLiteral("qtbase_") + QLatin1String(catalogueName),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtTexts);

        auto password = std::make_unique<CDlgPassword>();
        password->SetPrompt(MessageText(msg::password::EnterEncryptionKey));
        SaveModel(std::move(password), "password", language,
                  [](ModelDialog& d) { QTest::keyClicks(d.Entry(), "abcde"); });
        SaveModel(std::make_unique<CDlgReplace>(file.c_str(), "20240102030405", 2048), "replace", language);
        SaveModel(std::make_unique<CDlgFileList>(std::string_view(file + "|" + file + ".old|")), "filelist", language);
        VerifyRecord record{file, "Alice Example", "20240102030405", "20240101120000", 3000};
        SaveModel(std::make_unique<CDlgVerify>(record, 1), "verify", language);
        SaveModel(MakeFileSheet(file), "properties", language);
        SaveModel(std::make_unique<RecipientChoice>(SampleRecipients(), "alice", true), "recipients", language,
                  [](ModelDialog& d) {
                      auto& chooser = static_cast<RecipientChooser&>(d);
                      chooser.List()->topLevelItem(1)->setCheckState(0, Qt::Checked);
                      chooser.List()->expandAll();
                  });
        logon::CertSummary summary{
            "Bob Example <bob@example.org>",
            "Bob Example <bob@example.org>",
            "bob@example.org",
            "2024-01-02 03:04:05",
            "2026-01-02 03:04:05",
            0,
            "3A:5F:1C:88:0D:4E:9B:27:61:C2:F0:17:AE:45:93:D8:0B:6E:72:19:C4:AD:38:5B:E7:02:9F:61:"
            "D3:48:BA:7C"};
        SaveModel(std::make_unique<CertConfirmation>("bob@example.org", summary), "certificate", language);
        if (std::string_view(language) == "zh")
            ExpectChineseGlyphs(QString::fromStdString(MessageText(msg::desktop::ChooserTitle)));

        ActionRunner runner(runnerHost, dir.Path());
        MainWindow window(runner);
        window.show();
        Save(window, "main", language);

        ProgressWindow progress(
            QString::fromStdString(MessageText(msg::package::EncryptingTitle)),
            QString::fromStdString(MessageText(msg::package::Encrypting)),
            [moved = uint64_t{0}]() mutable { return moved += uint64_t{10} << 20; }, uint64_t{100} << 20, [] {});
        progress.show();
        progress.SetFile(40, QString::fromStdString(file));
        QTest::qWait(250);
        Save(progress, "progress", language);

        QtUiHost host;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Save(*box, "message", language);
                box->reject();
            }
        });
        host.MessageBox(MessageText(msg::desktop::WipeConfirm, file), msg::desktop::WipeConfirm.type);
        QApplication::removeTranslator(&qtTexts);
    }
}
