#include "platform/FileSystem.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>

bool IsExistingFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path, unsigned mode) {
    if (path.empty()) return false;
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        partial = path.substr(0, end);
        if (!partial.empty() && !IsExistingFolder(partial)) ::mkdir(partial.c_str(), static_cast<mode_t>(mode));
        start = end + 1;
    }
    return IsExistingFolder(path);
}

bool RemoveRegularFile(const std::string& path) {
    std::error_code ec;
    return IsExistingFile(path) && std::filesystem::remove(path, ec);
}

uint32_t FileSize32(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_size) : 0;
}
