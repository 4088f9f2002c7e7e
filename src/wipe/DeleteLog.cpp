#include "wipe/DeleteLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    // Opened without truncation first, so that a file that turns out not to be ours is
    // left as it was.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1 ||
        ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

std::string DeleteLogEntryText(const std::string& path, int error) {
    const char* text = error != 0 ? std::strerror(error) : nullptr;
    if (text == nullptr || *text == '\0') return Format(kDeleteLogEntryNoText, path.c_str(), kDeleteLogLineEnd);
    return Format(kDeleteLogEntry, path.c_str(), text, kDeleteLogLineEnd);
}
