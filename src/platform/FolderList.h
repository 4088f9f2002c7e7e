#pragma once
// Reading a folder's entries for every walk over a tree (pack, envelope, encrypt, delete, wipe,
// measure). A walk holds each folder open while it works in it, and lists, classifies and opens
// its entries through that handle, never through a path: a folder swapped for a symbolic link
// while the walk runs cannot lead it out of the tree it was given. "." and ".." are never
// listed; entries come in byte order of their names, so a walk is the same on every run.

#include <functional>
#include <string>
#include <vector>

#include "platform/Overwrite.h"

enum class FolderListing {
    Complete,     // every entry was read
    CannotStart,  // the folder could not be opened (nothing was read)
    Broken,       // reading stopped at an error; the names read so far are listed
};

struct FolderEntry {
    std::string name;
    PathKind kind = PathKind::Missing;  // as it was listed, never through a link; it may change before use
};

FolderListing ListFolder(const std::string& folder, std::vector<std::string>& names);
// The entries of a folder the caller holds open (see OpenFolderAt); the handle stays open.
FolderListing ListOpenFolder(int folder, std::vector<std::string>& names);
FolderListing ListFolderEntries(int folder, std::vector<FolderEntry>& entries);

// Opens a folder named by the caller, through a link at its own place: a link named as a path
// is followed, one met inside a tree never is. Invalid when it is no folder or cannot be opened.
UniqueFd OpenNamedFolder(const std::string& path);

// Opens, for the walk's descent, the entry `name` of an open folder that was listed as a folder,
// never through a link. When no folder is there any more (swapped for a link or a file, or
// removed since the listing), *kind becomes what is there now and the answer is true without a
// handle. False when the folder is there but cannot be opened.
bool OpenListedFolder(int folder, const std::string& name, UniqueFd* sub, PathKind* kind);

// The lister every listing above goes through. Tests put in their own for the calling thread (one
// that breaks part way, or that changes the tree once a folder has been listed); a thread without
// one reads the system's listing (ReadFolderEntries).
using FolderLister = std::function<FolderListing(int folder, std::vector<FolderEntry>& entries)>;
FolderListing ReadFolderEntries(int folder, std::vector<FolderEntry>& entries);

class ScopedFolderLister {
public:
    explicit ScopedFolderLister(FolderLister lister);
    ~ScopedFolderLister();
    ScopedFolderLister(const ScopedFolderLister&) = delete;
    ScopedFolderLister& operator=(const ScopedFolderLister&) = delete;

private:
    FolderLister m_previous;
};
