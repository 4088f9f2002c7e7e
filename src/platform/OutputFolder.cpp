#include "platform/OutputFolder.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

void AllowManyOpenFolders() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

bool OutputFolder::Open(const std::string& path, int* error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return false;
    }
    m_fd.Reset(fd);
    m_path = path;
    return true;
}

OutputFolder::Result OutputFolder::OpenBelow(const std::string& relative, UniqueFd& folder, int* error) const {
    UniqueFd current(::dup(m_fd.Get()));
    if (!current.Valid()) {
        if (error) *error = errno;
        return kFailed;
    }
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string name = relative.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") return kNotAFolder;
        if (::mkdirat(current.Get(), name.c_str(), kRestoredFolderMode) != 0 && errno != EEXIST) {
            if (error) *error = errno;
            return kFailed;
        }
        int next = ::openat(current.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            int err = errno;
            // A link (ELOOP) or a file (ENOTDIR) where a folder is to be: never written through.
            if (err == ELOOP || err == ENOTDIR) return kNotAFolder;
            if (error) *error = err;
            return kFailed;
        }
        current.Reset(next);
    }
    folder = std::move(current);
    return kOk;
}
