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

OutputFolder::Result OutputFolder::OpenBelow(const std::string& relative, UniqueFd& folder, int* error,
                                             std::vector<std::string>* made) const {
    UniqueFd current(::dup(m_fd.Get()));
    if (!current.Valid()) {
        if (error) *error = errno;
        return kFailed;
    }
    std::string reached;
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string name = relative.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == ".") continue;
        if (name == "..") return kNotAFolder;
        reached += (reached.empty() ? "" : "/") + name;
        if (::mkdirat(current.Get(), name.c_str(), kRestoredFolderMode) == 0) {
            if (made) made->push_back(reached);
        } else if (errno != EEXIST) {
            if (error) *error = errno;
            return kFailed;
        }
        int next = ::openat(current.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            int err = errno;
            // A link (ELOOP) or a file (ENOTDIR) where a folder is to be: never written through.
            if (err == ELOOP || err == ENOTDIR) {
                if (error) *error = err;
                return kNotAFolder;
            }
            if (error) *error = err;
            return kFailed;
        }
        current.Reset(next);
    }
    folder = std::move(current);
    return kOk;
}

bool OutputFolder::RemoveBelowIfEmpty(const std::string& relative) const {
    const size_t slash = relative.rfind('/');
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return false;
    UniqueFd parent(::dup(m_fd.Get()));
    size_t start = 0;
    const size_t end = slash == std::string::npos ? 0 : slash;
    while (parent.Valid() && start < end) {
        size_t next = relative.find('/', start);
        if (next == std::string::npos || next > end) next = end;
        const std::string step = relative.substr(start, next - start);
        start = next + 1;
        if (step.empty() || step == ".") continue;
        if (step == "..") return false;
        parent.Reset(::openat(parent.Get(), step.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    // Removing a folder never follows a link: a link at the name is refused (ENOTDIR).
    return parent.Valid() && ::unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0;
}
