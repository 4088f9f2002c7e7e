#pragma once
// Which file an open descriptor is, and the state of its content, as the system reports them:
// what lets a caller prove that a name still leads to the file it read, and that the file has
// not been written since. A descriptor held open keeps its file (and so its inode number) from
// being reused, so an identity taken from it stays meaningful for as long as it is held.

#include <sys/stat.h>
#include <sys/types.h>

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
};

inline FileIdentity IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim}; }

// False when the descriptor cannot be asked.
inline bool IdentityOf(int fd, FileIdentity* out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    *out = IdentityOf(st);
    return true;
}

// The same file: the same device and inode.
inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode;
}

// The same file with the same length and modification time: nothing was written to it between
// the two looks (a write always moves the modification time).
inline bool SameFileUnchanged(const FileIdentity& a, const FileIdentity& b) {
    return SameFile(a, b) && a.size == b.size && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec;
}
