#pragma once
// Overwriting a file's content in place before it is removed, never through a symbolic link.
// Used by secure deletion and by the wipe module: both must destroy the file that is named,
// and only it. A name that is a symbolic link is classified as such and never opened.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What lies at a path, asked without following a final symbolic link.
enum class PathKind { Missing, File, Folder, Link, Other };
PathKind KindOfPath(const std::string& path);

// An open file descriptor, closed when released.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { Reset(); }
    FileHandle(FileHandle&& other) noexcept : m_fd(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int Release();
    void Reset();

private:
    int m_fd = -1;
};

// Gives the owner write permission (so a read-only file can be overwritten) and opens the
// regular file at path for writing. Never follows a final symbolic link: a link, a folder or
// a special file (FIFO, socket, device) is not opened. An invalid handle with *error (errno)
// when the file cannot be opened; *length receives the file's length.
FileHandle OpenForOverwrite(const std::string& path, uint64_t* length, int* error);

// The same questions relative to an open folder (AT_FDCWD: the current one), for walks that
// hold each folder open while they work in it: every name is then one entry of that folder,
// so a folder swapped for a link during the walk cannot lead it out of its tree.
PathKind KindAt(int folder, const char* name);
// Opens a folder for walking; never through a final symbolic link. Invalid on failure.
FileHandle OpenFolderAt(int folder, const char* name);
FileHandle OpenForOverwriteAt(int folder, const char* name, uint64_t* length, int* error);

// Writes `block` repeatedly from offset 0 until exactly `length` bytes are written, the last
// time only the rest, then flushes the data to the disk: an overwrite that only reached the
// page cache would be dropped with the file. An empty file is not written. False with *error
// on the first failure.
bool OverwriteRepeating(int fd, uint64_t length, const unsigned char* block, size_t blockLength, int* error);

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
