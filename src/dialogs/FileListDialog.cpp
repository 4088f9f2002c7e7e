#include "dialogs/FileListDialog.h"

#include "dialogs/Messages.h"
#include "platform/Text.h"

CDlgFileList::CDlgFileList(std::string_view list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t bar = list.find('|', start);
        size_t end = bar == std::string_view::npos ? list.size() : bar;
        if (end > start) m_paths.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
}

CDlgFileList::CDlgFileList(const CMemFile& list)
    : CDlgFileList(std::string_view(reinterpret_cast<const char*>(list.Data()), list.GetLength())) {}

std::vector<std::string> CDlgFileList::Lines() const {
    std::vector<std::string> lines = m_paths;
    lines.push_back(MessageText(msg::dialogs::DecryptedCount, static_cast<int>(m_paths.size())));
    return lines;
}
