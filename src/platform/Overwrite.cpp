#include "platform/Overwrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/AtomicFile.h"
#include "platform/FileIdentity.h"
#include "platform/SignalCleanup.h"

PathKind KindOfPath(const std::string& path) { return KindAt(AT_FDCWD, path.c_str()); }

PathKind KindAt(int folder, const char* name) {
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return PathKind::Missing;
    if (S_ISLNK(st.st_mode)) return PathKind::Link;
    if (S_ISREG(st.st_mode)) return PathKind::File;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

UniqueFd HoldAt(int folder, const char* name) {
    return UniqueFd(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

bool RemoveAt(int folder, const char* name, bool isFolder) {
    return ::unlinkat(folder, name, isFolder ? AT_REMOVEDIR : 0) == 0;
}

UniqueFd OpenFolderAt(int folder, const char* name) {
    return UniqueFd(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

UniqueFd OpenForOverwrite(const std::string& path, uint64_t* length, int* error) {
    return OpenForOverwriteAt(AT_FDCWD, path.c_str(), length, error);
}

UniqueFd OpenForOverwriteAt(int folder, const char* name, uint64_t* length, int* error) {
    *length = 0;
    *error = 0;
    // O_NONBLOCK: a FIFO that replaced the file between the caller's look and this open must
    // not hang the walk; it is refused below like every other non-regular file.
    constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    UniqueFd file(::openat(folder, name, kFlags));
    if (!file.Valid() && errno == EACCES) {
        // A read-only file: give the owner write permission without following a link
        // (fchmodat refuses a link with this flag), then try again.
        struct stat st {};
        if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::fchmodat(folder, name, (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0)
            file = UniqueFd(::openat(folder, name, kFlags));
    }
    if (!file.Valid()) {
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

bool OverwriteWithZeros(const std::string& path, int* error) {
    static const unsigned char kZeros[65536] = {};
    uint64_t length = 0;
    UniqueFd file = OpenForOverwrite(path, &length, error);
    return file.Valid() && OverwriteRepeating(file.Get(), length, kZeros, sizeof kZeros, error);
}

bool TruncateAndFlush(int fd) { return ::ftruncate(fd, 0) == 0 && ::fdatasync(fd) == 0; }

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

namespace {

bool NameLeadsTo(int folder, const std::string& name, const FileIdentity& file) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(IdentityOf(st), file);
}

// Removes the aside name; when even that fails, the file goes back under its own name.
WipeOutcome RemoveAside(int folder, const std::string& aside, const std::string& name, WipeOutcome done, int* error) {
    if (::unlinkat(folder, aside.c_str(), 0) == 0) return done;
    *error = errno;
    RenameNoReplace(folder, aside, name);
    return WipeOutcome::kNotRemoved;
}

}  // namespace

WipeOutcome WipeHeldFile(int folder, const std::string& path, int held, const Overwriter& overwrite, int* error,
                         std::string* leftAs) {
    *error = 0;
    leftAs->clear();
    // The folder the name is in, so that the aside name is made and checked beside it.
    const size_t slash = path.find_last_of('/');
    UniqueFd own;
    if (slash != std::string::npos) {
        own = UniqueFd(
            ::openat(folder, slash == 0 ? "/" : path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!own.Valid()) {
            *error = errno;
            return WipeOutcome::kNotRemoved;
        }
        folder = own.Get();
    }
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    FileIdentity file;
    if (!IdentityOf(held, &file) || !NameLeadsTo(folder, name, file)) return WipeOutcome::kReplaced;
    std::string aside;
    if (!MoveAside(folder, name, &aside)) {
        *error = errno;
        return WipeOutcome::kNotRemoved;
    }
    if (!NameLeadsTo(folder, aside, file)) {
        // Another file took the name between the look and the move: it goes back untouched.
        if (!RenameNoReplace(folder, aside, name))
            *leftAs = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + aside;
        return WipeOutcome::kReplaced;
    }
    // From here on the aside name goes whatever happens: a signal that ends the process before
    // the removal takes it too, rather than leave a half-overwritten file under a temporary name.
    struct Registered {
        int slot;
        ~Registered() { ForgetTempFile(slot); }
    } registered{RegisterTempFile(folder, aside.c_str())};
    struct stat st {};
    if (::fstat(held, &st) != 0 || st.st_nlink > 1)
        return RemoveAside(folder, aside, name, WipeOutcome::kOtherNames, error);

    uint64_t length = 0;
    int openError = 0;
    UniqueFd writable = OpenForOverwriteAt(folder, aside.c_str(), &length, &openError);
    FileIdentity opened;
    if (!writable.Valid() || !IdentityOf(writable.Get(), &opened) || !SameFile(opened, file)) {
        writable.Reset();
        WipeOutcome outcome = RemoveAside(folder, aside, name, WipeOutcome::kNotOverwritten, error);
        if (outcome == WipeOutcome::kNotOverwritten) *error = openError ? openError : EINVAL;
        return outcome;
    }
    int writeError = 0;
    const bool overwritten = overwrite(writable.Get(), length, &writeError);
    writable.Reset();
    WipeOutcome outcome =
        RemoveAside(folder, aside, name, overwritten ? WipeOutcome::kWiped : WipeOutcome::kNotOverwritten, error);
    if (outcome == WipeOutcome::kNotOverwritten) *error = writeError;
    return outcome;
}
