#include "platform/FileSystem.h"

#include <sys/stat.h>

#include <filesystem>

bool IsExistingFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
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
