#pragma once
// The general page of a selection of several entries, of a folder, or of a drive (a mount
// point). Its attribute boxes show the entries' read-only, hidden and archive attributes
// together (a box is checked when any entry has it; 系统 stays disabled); applying sets or
// clears them on every entry and reports each entry that refuses.
//
// Drive mode (the first entry that is a drive root): the mount point, its type text and
// file system, capacity, used and free space. Item mode: what the selection contains (walked
// without following links), its type, location and total size.

#include <cstdint>
#include <string>
#include <vector>

#include "shell/Messages.h"
#include "shell/PropertySheet.h"

class CDlgFDProperty : public PropertyPage {
public:
    enum : int { kReadOnlyBox = 6031, kHiddenBox = 6032, kArchiveBox = 6033, kSystemBox = 6034 };

    // list: NUL-separated paths ended by an empty one. Reads everything now.
    explicit CDlgFDProperty(const char* list);

    int TemplateId() const override { return 6011; }
    std::string Caption() const override { return MessageText(msg::shell::GeneralCaption); }
    std::vector<SheetLine> Lines() const override { return m_lines; }
    int Apply() override;

    // The sheet's title for this selection.
    const std::string& SheetTitle() const { return m_title; }
    bool DriveMode() const { return m_driveMode; }
    // 1 when the person changed an attribute box.
    int AttributesChanged() const { return m_modified ? 1 : 0; }

private:
    void FillDrive(const std::string& root);
    void FillItems();

    std::vector<std::string> m_entries;
    std::vector<SheetLine> m_lines;
    std::string m_title;
    bool m_driveMode = false;
    size_t m_fileCount = 0, m_folderCount = 0;
};
