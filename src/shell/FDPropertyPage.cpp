#include "shell/FDPropertyPage.h"

#include <cstring>

#include "logon/ILogon.h"
#include "platform/Drives.h"
#include "platform/FileStatus.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/DriveText.h"
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
    AddBox(kReadOnlyBox, "只读", 'r', attributes & kAttrReadOnly, true);
    // Hidden is a name beginning with "." and archive is every file's: shown, not changeable.
    AddBox(kHiddenBox, "隐藏", 'h', attributes & kAttrHidden, false);
    AddBox(kArchiveBox, "存档", 'a', attributes & kAttrArchive, false);
    AddBox(kSystemBox, "系统", 's', false, false);
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
    m_title = Format("%s(%s) 属性", label.c_str(), mount.mountPoint.c_str());
    int64_t freeToCaller = 0, total = 0, totalFree = 0;
    GetDriveAmount(root.c_str(), &freeToCaller, &total, &totalFree);
    int64_t used = total - freeToCaller;
    m_lines = {{"", Format("%s %s %s", mount.mountPoint.c_str(), typeText.c_str(), mount.fsType.c_str())},
               {"卷标:", label},
               {"容量:", Format("%s 字节", Grouped(total).c_str()), Scaled(total)},
               {"已用空间:", Format("%s 字节", Grouped(used).c_str()), Scaled(used)},
               {"剩余空间:", Format("%s 字节", Grouped(freeToCaller).c_str()), Scaled(freeToCaller)}};
}

void CDlgFDProperty::FillItems() {
    std::string list;
    for (const std::string& entry : m_entries) list += entry + '\0';
    list += '\0';
    int64_t size = 0, files = 0, folders = 0;
    Collect_FDs_Info(list.data(), &size, &files, &folders);

    std::string first = m_entries.empty() ? std::string() : NameOf(m_entries.front());
    m_title = m_entries.size() == 1 ? Format("%s 属性", first.c_str()) : Format("%s, ... 属性", first.c_str());
    std::string contents = (files == 1 && folders == 0) || (files == 0 && folders == 1)
                               ? first
                               : Format("%s 个文件, %s 个文件夹", Grouped(files).c_str(), Grouped(folders).c_str());
    std::string type = m_folderCount == m_entries.size() ? "全是文件夹"
                       : m_fileCount == m_entries.size() ? "全是文件"
                                                         : "多种类型";
    std::string location;
    if (!m_entries.empty()) {
        std::string trimmed = m_entries.front();
        while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
        location = LogonSplitFolder(trimmed);
        if (location.size() > 1 && location.back() == '/') location.pop_back();
    }
    m_lines = {{"包含:", contents},
               {"类型:", type},
               {"位置:", location},
               {"大小:", Format("%s 字节(%s)", Grouped(size).c_str(), Scaled(size).c_str())}};
}

int CDlgFDProperty::Apply() {
    unsigned char attributes = (Checked(kReadOnlyBox) ? kAttrReadOnly : 0) | (Checked(kHiddenBox) ? kAttrHidden : 0) |
                               (Checked(kArchiveBox) ? kAttrArchive : 0);
    int result = 1;
    for (const std::string& entry : m_entries) {
        if (ApplyAttributes(entry.c_str(), attributes)) continue;
        AfxMessageBox(AttributeFailureText(entry));
        result = 0;
    }
    return result;
}
