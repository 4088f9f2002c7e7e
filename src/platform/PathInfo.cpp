#include "platform/PathInfo.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(kCurrentFolder == AT_FDCWD, "the current folder is the system's");

namespace {

PathKind KindOfMode(mode_t mode) {
    if (S_ISLNK(mode)) return PathKind::Link;
    if (S_ISREG(mode)) return PathKind::File;
    if (S_ISDIR(mode)) return PathKind::Folder;
    return PathKind::Other;
}

void Fill(const struct stat& st, PathInfo* info) {
    info->kind = KindOfMode(st.st_mode);
    info->owner = st.st_uid;
    info->mode = st.st_mode & 07777;
    info->links = static_cast<unsigned>(st.st_nlink);
    info->identity = IdentityOf(st);
}

}  // namespace

bool LookUpPath(const std::string& path, PathInfo* info, bool followLink) {
    *info = PathInfo{};
    struct stat st {};
    if ((followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return false;
    Fill(st, info);
    return true;
}

bool LookUpOpen(int fd, PathInfo* info) {
    *info = PathInfo{};
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    Fill(st, info);
    return true;
}

bool LookUpAt(int folder, const char* name, PathInfo* info) {
    *info = PathInfo{};
    struct stat st {};
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    Fill(st, info);
    return true;
}

unsigned CurrentUser() { return ::geteuid(); }

std::string UserName(unsigned uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr && found->pw_name != nullptr)
        return found->pw_name;
    return {};
}

bool NameIsTaken(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool SameTarget(const std::string& a, const std::string& b) {
    PathInfo x, y;
    return LookUpPath(a, &x, true) && LookUpPath(b, &y, true) && SameFile(x.identity, y.identity);
}

bool SameFileAsPath(int fd, const std::string& path) {
    PathInfo x, y;
    return LookUpOpen(fd, &x) && LookUpPath(path, &y, false) && SameFile(x.identity, y.identity);
}
