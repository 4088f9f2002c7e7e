#pragma once
// The list of files decrypted in a batch, shown at its end: one line per path and the count.

#include <string>
#include <string_view>

#include "dialogs/Messages.h"
#include "platform/CMemFile.h"
#include "platform/UiHost.h"

class CDlgFileList : public DialogModel {
public:
    // list: the engine's decrypted-files list, each path followed by "|".
    explicit CDlgFileList(std::string_view list);
    explicit CDlgFileList(const CMemFile& list);

    std::string Kind() const override { return "filelist"; }
    int TemplateId() const override { return 6010; }
    std::string Title() const override { return MessageText(msg::dialogs::FileListTitle); }
    std::vector<std::string> Lines() const override;
    std::vector<DialogButton> Buttons() const override { return {{1, MessageText(msg::dialogs::Ok), "ok"}}; }
    std::string CancellingAnswer() const override { return "ok"; }
    int Press(int) override { return 1; }
    int Close() override { return 2; }

    const std::vector<std::string>& Paths() const { return m_paths; }

private:
    std::vector<std::string> m_paths;
};
