#pragma once
// The file-open dialog: an entry holding the proposed file name, taken relative to the initial
// folder unless it is an absolute path, and a list of the files there to pick from. With
// "an existing file required", OK is refused until the entry names one. Script kind "file":
// the answer is the path, or "cancel".

#include <string>

#include "dialogs/Messages.h"
#include "platform/MessageBox.h"
#include "platform/UiHost.h"

class CFileDialog : public DialogModel {
public:
    enum : int { kIdOpen = 1, kIdCancel = 2 };

    // filter: "label|pattern|...||" as shown to the person; proposedName: the entry's text.
    CFileDialog(std::string filter, std::string initialFolder, std::string proposedName, bool mustExist);

    std::string Kind() const override { return "file"; }
    int TemplateId() const override { return 0; }
    std::string Title() const override { return MessageText(msg::dialogs::OpenTitle); }
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override {
        return {{kIdOpen, MessageText(msg::dialogs::OpenButton), "ok"},
                {kIdCancel, MessageText(msg::dialogs::Cancel), "cancel"}};
    }
    int DefaultButton() const override { return kIdOpen; }
    bool HasInput() const override { return true; }
    std::string InputLabel() const override { return MessageText(msg::dialogs::FileName); }
    std::string Input() const override { return m_entry; }
    void SetInput(std::string_view text) override { m_entry = text; }
    std::string CancellingAnswer() const override { return "cancel"; }
    bool CanPress(int id) const override;
    // IDOK after OK, IDCANCEL otherwise.
    int Press(int id) override { return id == kIdOpen ? IDOK : IDCANCEL; }
    int Close() override { return IDCANCEL; }

    // The chosen file after OK: the entry, below the initial folder when relative.
    std::string PathName() const;
    const std::string& InitialFolder() const { return m_folder; }
    const std::string& ProposedName() const { return m_proposed; }

private:
    std::string m_filter, m_folder, m_proposed, m_entry;
    bool m_mustExist;
};
