#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/UniqueFd.h"

std::string FolderOfPath(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string NameOfPath(std::string_view path) {
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtensionOfPath(std::string_view path) {
    std::string name = NameOfPath(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

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
    int error = 0;  // the system's reason when a level could not be made
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        partial = path.substr(0, end);
        if (!partial.empty() && !IsExistingFolder(partial) &&
            ::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST && error == 0)
            error = errno;
        start = end + 1;
    }
    if (IsExistingFolder(path)) return true;
    errno = error != 0 ? error : ENOTDIR;
    return false;
}

bool RemoveRegularFile(const std::string& path) {
    std::error_code ec;
    return IsExistingFile(path) && std::filesystem::remove(path, ec);
}

uint32_t FileSize32(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint32_t>(st.st_size) : 0;
}

bool RemoveName(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool RenameName(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool AddName(const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()) == 0; }

bool SetPermissions(const std::string& path, unsigned mode) {
    return ::chmod(path.c_str(), static_cast<mode_t>(mode)) == 0;
}

bool MakeOwnerOnlyFolders(const std::string& folder) { return MakeFolders(folder, S_IRWXU); }

bool MakeOwnerOnlyFile(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR)).Valid();
}

bool IsRunnable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

int FlushNamedFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid() || ::fsync(fd.Get()) != 0) return errno;
    return 0;
}

bool FlushFileSystemOf(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return fd.Valid() && ::syncfs(fd.Get()) == 0;
}

bool SetModifiedTime(const std::string& path, time_t modified) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool CopyOwnerOnly(const std::string& from, const std::string& to) {
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.Valid()) return false;
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const bool created = out.Valid();
    bool ok = created;
    char block[65536];
    ssize_t n = 0;
    while (ok && (n = ::read(in.Get(), block, sizeof block)) > 0)
        ok = ::write(out.Get(), block, static_cast<size_t>(n)) == n;
    ok = ok && n == 0;
    if (out.Valid() && ::close(out.Release()) != 0) ok = false;
    if (!ok && created) ::unlink(to.c_str());
    return ok;
}

UniqueFd MakeUniqueFile(std::string& nameTemplate) { return UniqueFd(::mkostemp(nameTemplate.data(), O_CLOEXEC)); }

UniqueFd OpenOwnFileEmptied(const std::string& path) {
    // Opened without truncation first, so that a file that turns out not to be ours is left as
    // it was.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1 || ::ftruncate(fd.Get(), 0) != 0)
        return UniqueFd();
    return fd;
}

bool FlushOpenFile(int fd) { return ::fsync(fd) == 0; }
