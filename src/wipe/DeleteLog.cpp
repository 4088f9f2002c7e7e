#include "wipe/DeleteLog.h"

#include <cerrno>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/TempFolder.h"
#include "platform/Text.h"

std::string DeleteLogPath() {
    std::string folder;
    if (!UserTempFolder(folder)) return {};
    return folder + kDeleteLogName;
}

bool DeleteLog::Create() {
    Abort();
    std::string path = DeleteLogPath();
    if (path.empty()) return false;
    UniqueFd fd = OpenOwnFileEmptied(path);
    if (!fd.Valid()) return false;
    m_fd = fd.Release();
    m_path = path;
    return true;
}

std::string DeleteLogEntryText(const std::string& path, int error) {
    const char* text = error != 0 ? std::strerror(error) : nullptr;
    if (text == nullptr || *text == '\0') return Format(kDeleteLogEntryNoText, path.c_str(), kDeleteLogLineEnd);
    return Format(kDeleteLogEntry, path.c_str(), text, kDeleteLogLineEnd);
}
