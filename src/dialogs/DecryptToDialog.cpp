#include "dialogs/DecryptToDialog.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr size_t kListedFolders = 24;  // enough to pick from, short enough for a terminal

}  // namespace

CDlgDecryptTo::CDlgDecryptTo(std::string proposedFolder)
    : m_proposed(std::move(proposedFolder)), m_folder(m_proposed) {}

void CDlgDecryptTo::SetInput(std::string_view text) {
    if (text.empty() || text[0] == '/' || m_proposed.empty()) {
        m_folder = text;
        return;
    }
    m_folder = m_proposed;
    if (m_folder.back() != '/') m_folder += '/';
    m_folder += text;
}

std::vector<std::string> CDlgDecryptTo::Lines() const {
    std::vector<std::string> lines{m_proposed};
    std::error_code ec;
    std::vector<std::string> names;
    for (auto it = std::filesystem::directory_iterator(m_proposed, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) names.push_back(it->path().filename().string() + "/");
    }
    std::sort(names.begin(), names.end());
    std::string shown;
    for (size_t i = 0; i < names.size() && i < kListedFolders; ++i) shown += (i ? "  " : "") + names[i];
    if (names.size() > kListedFolders) shown += "  ...";
    if (!shown.empty()) lines.push_back(shown);
    return lines;
}
