#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

bool ExclusiveFileLock::Take(const char* path) {
    m_fd.Reset(::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    // Gone before it could be opened: another run has packaged it and removed it.
    if (!m_fd.Valid()) return errno != ENOENT;
    while (::flock(m_fd.Get(), LOCK_EX) != 0)
        if (errno != EINTR) return true;
    struct stat st {};
    return ::fstat(m_fd.Get(), &st) != 0 || st.st_nlink > 0;
}
