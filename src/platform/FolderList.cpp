#include "platform/FolderList.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Per thread: an engine walking on another thread keeps the system's listing.
thread_local FolderLister t_lister;

}  // namespace

FolderListing ReadFolderEntries(int folder, std::vector<FolderEntry>& entries) {
    entries.clear();
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
    FolderListing listing = FolderListing::Complete;
    for (;;) {
        errno = 0;
        dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) listing = FolderListing::Broken;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        PathKind kind = KindAt(folder, entry->d_name);
        // An entry that went away since it was read is still listed (as missing); one that
        // cannot be looked at (a folder without search permission) breaks the listing.
        if (kind == PathKind::Missing && errno != ENOENT) listing = FolderListing::Broken;
        entries.push_back({entry->d_name, kind});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return listing;
}

ScopedFolderLister::ScopedFolderLister(FolderLister lister) : m_previous(std::move(t_lister)) {
    t_lister = std::move(lister);
}

ScopedFolderLister::~ScopedFolderLister() { t_lister = std::move(m_previous); }

FolderListing ListFolderEntries(int folder, std::vector<FolderEntry>& entries) {
    return t_lister ? t_lister(folder, entries) : ReadFolderEntries(folder, entries);
}

FolderListing ListOpenFolder(int folder, std::vector<std::string>& names) {
    names.clear();
    std::vector<FolderEntry> entries;
    FolderListing listing = ListFolderEntries(folder, entries);
    for (FolderEntry& e : entries) names.push_back(std::move(e.name));
    return listing;
}

FolderListing ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    UniqueFd handle = OpenFolderAt(AT_FDCWD, folder.c_str());
    if (!handle.Valid()) return FolderListing::CannotStart;
    return ListOpenFolder(handle.Get(), names);
}

UniqueFd OpenNamedFolder(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool OpenListedFolder(int folder, const std::string& name, UniqueFd* sub, PathKind* kind) {
    *sub = OpenFolderAt(folder, name.c_str());
    if (sub->Valid()) {
        *kind = PathKind::Folder;
        return true;
    }
    // Refused because a link or a file stands there now, or because nothing does: the walk
    // takes what is there. A folder that is still there could not be opened.
    *kind = KindAt(folder, name.c_str());
    return *kind != PathKind::Folder;
}
