#pragma once
// The folder choice of a decryption without a preset output folder: an entry holding the
// proposed folder, which the person may change, and the subfolders of that folder to pick
// from. A relative entry is taken below the proposed folder. Script kind "folder": the
// answer is the folder text, or "cancel".

#include <string>

#include "dialogs/Messages.h"
#include "platform/UiHost.h"

class CDlgDecryptTo : public DialogModel {
public:
    enum : int { kIdDecrypt = 1, kIdCancel = 2 };

    explicit CDlgDecryptTo(std::string proposedFolder);

    std::string Kind() const override { return "folder"; }
    int TemplateId() const override { return 6003; }
    std::string Title() const override { return MessageText(msg::dialogs::DecryptToTitle); }
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override {
        return {{kIdDecrypt, MessageText(msg::dialogs::DecryptButton), "ok"},
                {kIdCancel, MessageText(msg::dialogs::Cancel), "cancel"}};
    }
    int DefaultButton() const override { return kIdDecrypt; }
    bool HasInput() const override { return true; }
    std::string InputLabel() const override { return MessageText(msg::dialogs::DecryptToFolder); }
    std::string Input() const override { return m_folder; }
    void SetInput(std::string_view text) override;
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override { return id != kIdDecrypt || !m_folder.empty(); }
    int Press(int id) override { return id == kIdDecrypt ? kIdDecrypt : kIdCancel; }
    int Close() override { return kIdCancel; }

    // The chosen folder after kIdDecrypt: the entry's text.
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_proposed;
    std::string m_folder;
};
