#include "platform/Overwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

PathKind KindOfPath(const std::string& path) { return KindAt(AT_FDCWD, path.c_str()); }

PathKind KindAt(int folder, const char* name) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode)) return PathKind::Link;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_fd = other.Release();
    }
    return *this;
}

int FileHandle::Release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

void FileHandle::Reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

FileHandle OpenFolderAt(int folder, const char* name) {
    return FileHandle(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

FileHandle OpenForOverwrite(const std::string& path, uint64_t* length, int* error) {
    return OpenForOverwriteAt(AT_FDCWD, path.c_str(), length, error);
}

FileHandle OpenForOverwriteAt(int folder, const char* name, uint64_t* length, int* error) {
    *length = 0;
    *error = 0;
    // O_NONBLOCK: a FIFO that replaced the file between the caller's look and this open must
    // not hang the walk; it is refused below like every other non-regular file.
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    FileHandle file(::openat(folder, name, kFlags));
    if (!file.IsOpen() && errno == EACCES) {
        // A read-only file: give the owner write permission without following a link
        // (fchmodat refuses a link with this flag), then try again.
        struct stat st {};
        if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::fchmodat(folder, name, (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0)
            file = FileHandle(::openat(folder, name, kFlags));
    }
    if (!file.IsOpen()) {
        *error = errno;
        return file;
    }
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) {
        *error = errno;
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        *error = EINVAL;
        return {};
    }
    *length = static_cast<uint64_t>(st.st_size);
    return file;
}

bool OverwriteRepeating(int fd, uint64_t length, const unsigned char* block, size_t blockLength, int* error) {
    *error = 0;
    if (length == 0) return true;
    if (blockLength == 0) {
        *error = EINVAL;
        return false;
    }
    uint64_t done = 0;
    while (done < length) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(blockLength, length - done));
        size_t written = 0;
        while (written < chunk) {
            ssize_t n = ::pwrite(fd, block + written, chunk - written, static_cast<off_t>(done + written));
            if (n < 0) {
                if (errno == EINTR) continue;
                *error = errno;
                return false;
            }
            written += static_cast<size_t>(n);
        }
        done += chunk;
    }
    if (::fdatasync(fd) != 0 && errno != EINVAL) {
        *error = errno;
        return false;
    }
    return true;
}
