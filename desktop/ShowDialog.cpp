#include "ShowDialog.h"

#include <QFileDialog>

#include "DecryptedFiles.h"
#include "PropertySheetDialog.h"
#include "RecipientChooser.h"
#include "Recipients.h"
#include "ReplaceQuestion.h"
#include "VerifyReport.h"
#include "dialogs/DecryptToDialog.h"
#include "dialogs/FileListDialog.h"
#include "dialogs/FileOpenDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "dialogs/VerifyDialog.h"
#include "shell/PropertySheet.h"

namespace {

// The folder choice: the proposed folder to start from; nothing chosen cancels.
int ChooseFolder(CDlgDecryptTo& model, QWidget* parent) {
    const QString folder = QFileDialog::getExistingDirectory(parent, QString::fromStdString(model.Title()),
                                                             QString::fromStdString(model.Input()));
    if (folder.isEmpty()) return model.Close();
    model.SetInput(folder.toStdString());
    return model.CanPress(CDlgDecryptTo::kIdDecrypt) ? model.Press(CDlgDecryptTo::kIdDecrypt) : model.Close();
}

// The file choice: the proposed name in its initial folder; nothing chosen cancels.
int ChooseFile(CFileDialog& model, QWidget* parent) {
    const QString start =
        QString::fromStdString(model.InitialFolder()) + QLatin1Char('/') + QString::fromStdString(model.ProposedName());
    const QString file = QFileDialog::getOpenFileName(parent, QString::fromStdString(model.Title()), start);
    if (file.isEmpty()) return model.Close();
    model.SetInput(file.toStdString());
    return model.CanPress(CFileDialog::kIdOpen) ? model.Press(CFileDialog::kIdOpen) : model.Close();
}

}  // namespace

std::unique_ptr<ModelDialog> MakeDialog(DialogModel& model, QWidget* parent) {
    std::unique_ptr<ModelDialog> dialog;
    if (dynamic_cast<CDlgReplace*>(&model))
        dialog = std::make_unique<ReplaceQuestion>(model, parent);
    else if (auto* list = dynamic_cast<CDlgFileList*>(&model))
        dialog = std::make_unique<DecryptedFiles>(*list, parent);
    else if (auto* report = dynamic_cast<CDlgVerify*>(&model))
        dialog = std::make_unique<VerifyReport>(*report, parent);
    else if (auto* choice = dynamic_cast<RecipientChoice*>(&model))
        dialog = std::make_unique<RecipientChooser>(*choice, parent);
    else if (auto* sheet = dynamic_cast<CPropertySheet*>(&model))
        dialog = std::make_unique<PropertySheetDialog>(*sheet, parent);
    else
        dialog = std::make_unique<ModelDialog>(model, parent);
    dialog->Build();
    return dialog;
}

int ShowDialog(DialogModel& model, QWidget* parent, int tries) {
    if (auto* folder = dynamic_cast<CDlgDecryptTo*>(&model)) return ChooseFolder(*folder, parent);
    if (auto* file = dynamic_cast<CFileDialog*>(&model)) return ChooseFile(*file, parent);
    std::unique_ptr<ModelDialog> dialog = MakeDialog(model, parent);
    dialog->SetTry(tries + 1);
    dialog->exec();
    return dialog->Answer();
}
