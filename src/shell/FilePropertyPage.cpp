#include "shell/FilePropertyPage.h"

#include <ctime>

#include "logon/ILogon.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/Messages.h"
#include "shell/PlainFunctions.h"

std::string ShellTypeName(const std::string& path, bool folder) {
    if (folder) return MessageText(msg::shell::TypeFolder);
    std::string name = LogonSplitName(path);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size() || dot == 0) return MessageText(msg::shell::TypeFile);
    return MessageText(msg::shell::TypeExtensionFile, UpperAscii(std::string_view(name).substr(dot + 1)));
}

std::string ShellTimeText(time_t t, bool withTime) {
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr) return {};
    if (!withTime) return MessageText(msg::shell::Date, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return MessageText(msg::shell::DateTime, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

CPropertyFileProperty::CPropertyFileProperty(std::string path) : m_path(std::move(path)) {
    std::string name = LogonSplitName(m_path);
    std::string folder = LogonSplitFolder(m_path);
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    PathTimes times;
    std::string size, created, modified, accessed;
    if (ReadPathTimes(m_path, &times)) {
        std::string grouped, scaled;
        FromatLargeNumber(times.size, &grouped, &scaled);
        size = MessageText(msg::shell::SizeBytesScaled, grouped, scaled);
        created = ShellTimeText(times.created, true);
        modified = ShellTimeText(times.modified, true);
        accessed = ShellTimeText(times.accessed, false);
    }
    m_lines = {
        {MessageText(msg::shell::Name), name},        {MessageText(msg::shell::Type), ShellTypeName(m_path, false)},
        {MessageText(msg::shell::Location), folder},  {MessageText(msg::shell::Size), size},
        {MessageText(msg::shell::DosName), name},  // no short names here: the name itself
        {MessageText(msg::shell::Created), created},  {MessageText(msg::shell::Modified), modified},
        {MessageText(msg::shell::Accessed), accessed}};
    FileStatusInfo status;
    unsigned char attributes = ReadFileStatus(m_path, status) ? status.attributes : 0;
    AddBox(kReadOnlyBox, MessageText(msg::shell::ReadOnly), 'r', attributes & kAttrReadOnly, true);
    // Hidden is a name beginning with "." and archive is every file's: shown, not changeable.
    AddBox(kHiddenBox, MessageText(msg::shell::Hidden), 'h', attributes & kAttrHidden, false);
    AddBox(kArchiveBox, MessageText(msg::shell::Archive), 'a', attributes & kAttrArchive, false);
    bool system = attributes & kAttrSystem;
    AddBox(kSystemBox, MessageText(msg::shell::System), 's', system, system);
}

int CPropertyFileProperty::Apply() {
    unsigned char attributes = (Checked(kReadOnlyBox) ? kAttrReadOnly : 0) | (Checked(kHiddenBox) ? kAttrHidden : 0) |
                               (Checked(kArchiveBox) ? kAttrArchive : 0);
    if (ApplyAttributes(m_path.c_str(), attributes)) return 1;
    ShowMessage(msg::shell::AttributeFailed, m_path);
    return 0;
}
