#pragma once
// The general page of one file: name, type, location, size, times and the attribute boxes
// 只读, 隐藏, 存档, 系统. On this platform read-only is the owner's missing write permission,
// hidden a name that begins with ".", archive is set for every file and system never (its
// box is unchecked and disabled); applying changes the read-only state only.

#include <string>

#include "shell/Messages.h"
#include "shell/PropertySheet.h"

class CPropertyFileProperty : public PropertyPage {
public:
    enum : int { kReadOnlyBox = 1104, kHiddenBox = 1105, kArchiveBox = 1107, kSystemBox = 1108 };

    // Reads the file's state now; a file that cannot be read shows empty values.
    explicit CPropertyFileProperty(std::string path);

    int TemplateId() const override { return 6008; }
    std::string Caption() const override { return MessageText(msg::shell::GeneralCaption); }
    std::vector<SheetLine> Lines() const override { return m_lines; }
    // Sets or clears read-only as the boxes say; "%s\n设置属性失败。" when the system refuses.
    int Apply() override;

private:
    std::string m_path;
    std::vector<SheetLine> m_lines;
};

// The type name of a file as the shell shows it: "VRK 文件" for an extension, "文件" without
// one, "文件夹" for a folder.
std::string ShellTypeName(const std::string& path, bool folder);
// "%d年%d月%d日 %d:%d:%d" in local time; withTime false leaves out the time of day.
std::string ShellTimeText(time_t t, bool withTime);
