#pragma once
// Overwriting a file's content in place before it is removed, never through a symbolic link.
// Used by secure deletion and by the wipe module: both must destroy the file that is named,
// and only it. A name that is a symbolic link is classified as such and never opened.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/PathInfo.h"
#include "platform/UniqueFd.h"

// What lies at a path, asked without following a final symbolic link.
PathKind KindOfPath(const std::string& path);

// Gives the owner write permission (so a read-only file can be overwritten) and opens the
// regular file at path for writing. Never follows a final symbolic link: a link, a folder or
// a special file (FIFO, socket, device) is not opened. An invalid handle with *error (errno)
// when the file cannot be opened; *length receives the file's length.
UniqueFd OpenForOverwrite(const std::string& path, uint64_t* length, int* error);

// The same questions relative to an open folder (AT_FDCWD: the current one), for walks that
// hold each folder open while they work in it: every name is then one entry of that folder,
// so a folder swapped for a link during the walk cannot lead it out of its tree.
PathKind KindAt(int folder, const char* name);
// Holds the entry `name` of a folder without opening its content (never through a link), so
// that what is removed later can be proven to be what was looked at. Invalid when it is gone.
UniqueFd HoldAt(int folder, const char* name);
// Removes the entry `name` of a folder: an empty folder when `isFolder`, else any other name.
// False with errno set when the system refuses.
bool RemoveAt(int folder, const char* name, bool isFolder);
// Opens a folder for walking; never through a final symbolic link. Invalid on failure.
UniqueFd OpenFolderAt(int folder, const char* name);
UniqueFd OpenForOverwriteAt(int folder, const char* name, uint64_t* length, int* error);

// Writes `block` repeatedly from offset 0 until exactly `length` bytes are written, the last
// time only the rest, then flushes the data to the disk: an overwrite that only reached the
// page cache would be dropped with the file. An empty file is not written. False with *error
// on the first failure.
bool OverwriteRepeating(int fd, uint64_t length, const unsigned char* block, size_t blockLength, int* error);
// Overwrites the whole regular file at path with zeros and flushes it, never through a link;
// false (*error set) when it cannot be opened or written. The name stays for the caller to remove.
bool OverwriteWithZeros(const std::string& path, int* error);
// Cuts an overwritten file to nothing and flushes that, so no length stays behind once its name
// is gone.
bool TruncateAndFlush(int fd);

// What became of a file handed to WipeHeldFile.
enum class WipeOutcome {
    kWiped,           // overwritten, flushed and removed
    kOtherNames,      // its name removed, its content not overwritten: other names lead to it
    kNotOverwritten,  // its name removed, its content not (or not wholly) overwritten: *error
    kReplaced,        // the name no longer led to the held file: both were left as they were
    kNotRemoved,      // the name could not be moved or removed (*error); the content is untouched
};

// Overwrites the open file's `length` bytes; false with *error.
using Overwriter = std::function<bool(int fd, uint64_t length, int* error)>;

// Destroys exactly the regular file `held` is open on (in any mode, O_PATH too), named `path`
// relative to `folder` (AT_FDCWD: the current one). The name must still lead to that file: it is
// first moved aside to a temporary name of its own, which closes the gap between that check and
// the removal, and checked again there (a name swapped meanwhile is put back, or, should its
// place be taken by then, left where *leftAs says). A file with more than one name is never
// overwritten (the others would read what the overwrite left): only this name goes. Otherwise
// the file is opened for writing (owner write permission given when missing), overwritten, and
// its name removed; a file that cannot be opened for writing loses only its name.
WipeOutcome WipeHeldFile(int folder, const std::string& path, int held, const Overwriter& overwrite, int* error,
                         std::string* leftAs);
