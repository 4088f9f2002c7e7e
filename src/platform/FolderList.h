#pragma once
// Reading a folder's entries for the walks that delete, wipe or measure a tree. The folder
// is opened without following a symbolic link at its own place, so a walk never leaves the
// tree it was given; "." and ".." are never listed.

#include <string>
#include <vector>

enum class FolderListing {
    Complete,     // every entry was read
    CannotStart,  // the folder could not be opened (nothing was read)
    Broken,       // reading stopped at an error; the names read so far are listed
};

FolderListing ListFolder(const std::string& folder, std::vector<std::string>& names);
// The entries of a folder the caller holds open (see OpenFolderAt); the handle stays open.
FolderListing ListOpenFolder(int folder, std::vector<std::string>& names);
