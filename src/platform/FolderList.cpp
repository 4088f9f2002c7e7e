#include "platform/FolderList.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

FolderListing ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return FolderListing::CannotStart;
    FolderListing listing = ListOpenFolder(fd, names);
    ::close(fd);
    return listing;
}

FolderListing ListOpenFolder(int folder, std::vector<std::string>& names) {
    names.clear();
    // The listing reads through its own handle, so the caller's stays open and unmoved.
    int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FolderListing::CannotStart;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return FolderListing::CannotStart;
    }
    // The names are read in full before the caller changes the folder: removing entries
    // while a listing is open may skip or repeat others.
    for (;;) {
        errno = 0;
        dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) return errno == 0 ? FolderListing::Complete : FolderListing::Broken;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
}
