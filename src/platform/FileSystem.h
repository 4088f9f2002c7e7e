#pragma once
// What the file system holds at a path, asked directly. The engine asks the logon library when
// one is installed and falls back to these, so it works the same without one.

#include <time.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

// The parts of a native ("/") path: "dir/name.ext" gives the folder "dir/" (with its
// separator; "" for a bare name), the name "name.ext" and the extension "ext" (without its
// dot; "" when the name has none).
std::string FolderOfPath(std::string_view path);
std::string NameOfPath(std::string_view path);
std::string ExtensionOfPath(std::string_view path);

bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
// Creates the folder and any missing parents (each with `mode`, the umask applied); true when
// it exists afterwards, else false with errno the system's reason.
bool MakeFolders(const std::string& path, unsigned mode = 0777);
// Removes a regular file; false for anything else or on failure.
bool RemoveRegularFile(const std::string& path);
// The size of a file as the 32-bit size fields hold it; 0 when unknown.
uint32_t FileSize32(const std::string& path);

// Names and folders. Each answers false with errno set when the system refuses.
// Removes a name that is not a folder (a file, a link, a special file); a link is never followed.
bool RemoveName(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);
bool RenameName(const std::string& from, const std::string& to);
// Gives the file at `from` the second name `to`; fails when `to` is taken.
bool AddName(const std::string& from, const std::string& to);
bool SetPermissions(const std::string& path, unsigned mode);
// Makes `folder` and every missing folder above it owner-only (0700); true when it is a folder
// afterwards, whoever made it.
bool MakeOwnerOnlyFolders(const std::string& folder);
// Creates the file at path owner-only (0600) when it is missing, never through a final link.
bool MakeOwnerOnlyFile(const std::string& path);
// Whether the file at path may be run by this process.
bool IsRunnable(const std::string& path);

// Copies a file to a new name (never an existing one, never through a link) that only its owner
// can read; the copy is made whole or removed again.
bool CopyOwnerOnly(const std::string& from, const std::string& to);
// Creates a new owner-only file from a name ending in "XXXXXX", which becomes the name it got.
UniqueFd MakeUniqueFile(std::string& nameTemplate);
// Opens the file at path for writing from its start, creating it owner-only, and empties it;
// only a regular file of the current user's with no other name is taken (anything else, a link
// above all, is left as it was and gives an invalid descriptor), so nobody can make a writer
// that reuses a name write into another file through it.
UniqueFd OpenOwnFileEmptied(const std::string& path);
// Flushes an open file to the disk.
bool FlushOpenFile(int fd);

// Flushes the file at path (never through a final link) to the disk; 0, or the system's error.
int FlushNamedFile(const std::string& path);
// Flushes the whole file system the path lies on; false when the path cannot be opened.
bool FlushFileSystemOf(const std::string& path);
// Sets a file's modification time (whole seconds), its access time left as it is; false when
// the system refuses.
bool SetModifiedTime(const std::string& path, time_t modified);
