#include "shell/FDPropertyPage.h"

#include <cstring>

#include "logon/ILogon.h"
#include "platform/Drives.h"
#include "platform/FileStatus.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/DriveText.h"
#include "shell/Messages.h"
#include "shell/PlainFunctions.h"

namespace {

std::string NameOf(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::string name = LogonSplitName(trimmed);
    return name.empty() ? trimmed : name;
}

std::string Grouped(int64_t n) {
    std::string text;
    FromatLargeNumber(n, &text, nullptr);
    return text;
}

std::string Scaled(int64_t n) {
    std::string text;
    FromatLargeNumber(n, nullptr, &text);
    return text;
}

}  // namespace

CDlgFDProperty::CDlgFDProperty(const char* list) {
    for (const char* p = list; p != nullptr && *p != '\0'; p += std::strlen(p) + 1) m_entries.emplace_back(p);
    unsigned char attributes = 0;
    std::string driveRoot;
    for (const std::string& entry : m_entries) {
        FileStatusInfo status;
        if (ReadFileStatus(entry, status))
            attributes |= status.attributes & (kAttrReadOnly | kAttrHidden | kAttrArchive);
        if (IsExistingFile(entry)) ++m_fileCount;
        if (IsExistingFolder(entry)) ++m_folderCount;
        if (driveRoot.empty() && IsLogicDrive(entry.c_str())) driveRoot = entry;
    }
    AddBox(kReadOnlyBox, MessageText(msg::shell::ReadOnly), 'r', attributes & kAttrReadOnly, true);
    // Hidden is a name beginning with "." and archive is every file's: shown, not changeable.
    AddBox(kHiddenBox, MessageText(msg::shell::Hidden), 'h', attributes & kAttrHidden, false);
    AddBox(kArchiveBox, MessageText(msg::shell::Archive), 'a', attributes & kAttrArchive, false);
    AddBox(kSystemBox, MessageText(msg::shell::System), 's', false, false);
    m_driveMode = !driveRoot.empty();
    if (m_driveMode)
        FillDrive(driveRoot);
    else
        FillItems();
}

void CDlgFDProperty::FillDrive(const std::string& root) {
    MountEntry mount;
    FindMountPoint(root, mount);
    std::string label = VolumeLabel(mount);
    std::string typeText = DriveTypeText(KindOfDrive(mount));
    m_title = MessageText(msg::shell::DriveTitle, label, mount.mountPoint);
    int64_t freeToCaller = 0, total = 0, totalFree = 0;
    GetDriveAmount(root.c_str(), &freeToCaller, &total, &totalFree);
    int64_t used = total - freeToCaller;
    m_lines = {{"", Format("%s %s %s", mount.mountPoint.c_str(), typeText.c_str(), mount.fsType.c_str())},
               {MessageText(msg::shell::VolumeLabel), label},
               {MessageText(msg::shell::Capacity), MessageText(msg::shell::Bytes, Grouped(total)), Scaled(total)},
               {MessageText(msg::shell::UsedSpace), MessageText(msg::shell::Bytes, Grouped(used)), Scaled(used)},
               {MessageText(msg::shell::FreeSpace), MessageText(msg::shell::Bytes, Grouped(freeToCaller)),
                Scaled(freeToCaller)}};
}

void CDlgFDProperty::FillItems() {
    std::string list;
    for (const std::string& entry : m_entries) list += entry + '\0';
    list += '\0';
    int64_t size = 0, files = 0, folders = 0;
    Collect_FDs_Info(list.data(), &size, &files, &folders);

    std::string first = m_entries.empty() ? std::string() : NameOf(m_entries.front());
    m_title = MessageText(m_entries.size() == 1 ? msg::shell::OneTitle : msg::shell::ManyTitle, first);
    // One folder is described by what it holds, not counting itself (an empty one holds
    // nothing, it is not its own content); one file by its name.
    const bool oneFolder = m_entries.size() == 1 && m_folderCount == 1;
    if (oneFolder && folders > 0) --folders;
    std::string contents = !oneFolder && ((files == 1 && folders == 0) || (files == 0 && folders == 1))
                               ? first
                               : MessageText(msg::shell::FilesAndFolders, Grouped(files), Grouped(folders));
    std::string type = MessageText(m_folderCount == m_entries.size() ? msg::shell::AllFolders
                                   : m_fileCount == m_entries.size() ? msg::shell::AllFiles
                                                                     : msg::shell::MixedTypes);
    std::string location;
    if (!m_entries.empty()) {
        std::string trimmed = m_entries.front();
        while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
        location = LogonSplitFolder(trimmed);
        if (location.size() > 1 && location.back() == '/') location.pop_back();
    }
    m_lines = {{MessageText(msg::shell::Contains), contents},
               {MessageText(msg::shell::Type), type},
               {MessageText(msg::shell::Location), location},
               {MessageText(msg::shell::Size), MessageText(msg::shell::ItemsSize, Grouped(size), Scaled(size))}};
}

int CDlgFDProperty::Apply() {
    unsigned char attributes = (Checked(kReadOnlyBox) ? kAttrReadOnly : 0) | (Checked(kHiddenBox) ? kAttrHidden : 0) |
                               (Checked(kArchiveBox) ? kAttrArchive : 0);
    int result = 1;
    for (const std::string& entry : m_entries) {
        if (ApplyAttributes(entry.c_str(), attributes)) continue;
        ShowMessage(msg::shell::AttributeFailed, entry);
        result = 0;
    }
    return result;
}
