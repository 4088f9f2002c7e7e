#include "dialogs/FileOpenDialog.h"

#include <algorithm>
#include <filesystem>

namespace {

constexpr size_t kListedFiles = 24;  // enough to pick from, short enough for a terminal

}  // namespace

CFileDialog::CFileDialog(std::string filter, std::string initialFolder, std::string proposedName, bool mustExist)
    : m_filter(std::move(filter)),
      m_folder(std::move(initialFolder)),
      m_proposed(std::move(proposedName)),
      m_entry(m_proposed),
      m_mustExist(mustExist) {}

std::string CFileDialog::PathName() const {
    if (m_entry.empty() || m_entry[0] == '/' || m_folder.empty()) return m_entry;
    return m_folder + (m_folder.back() == '/' ? "" : "/") + m_entry;
}

bool CFileDialog::CanPress(int id) const {
    if (id != kIdOpen) return true;
    if (m_entry.empty()) return false;
    std::error_code ec;
    return !m_mustExist || std::filesystem::is_regular_file(PathName(), ec);
}

std::vector<std::string> CFileDialog::Lines() const {
    std::vector<std::string> lines{m_folder};
    std::error_code ec;
    std::vector<std::string> names;
    for (auto it = std::filesystem::directory_iterator(m_folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string() + (it->is_directory(ec) ? "/" : ""));
    std::sort(names.begin(), names.end());
    std::string shown;
    for (size_t i = 0; i < names.size() && i < kListedFiles; ++i) shown += (i ? "  " : "") + names[i];
    if (names.size() > kListedFiles) shown += "  ...";
    if (!shown.empty()) lines.push_back(shown);
    std::string label = m_filter.substr(0, m_filter.find('|'));
    if (!label.empty()) lines.push_back(label);
    return lines;
}
