#pragma once
// What the file system holds at a path, asked directly. The engine asks the logon library when
// one is installed and falls back to these, so it works the same without one.

#include <cstdint>
#include <string>

bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
// Creates the folder and any missing parents (each with `mode`, the umask applied); true when
// it exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode = 0777);
// Removes a regular file; false for anything else or on failure.
bool RemoveRegularFile(const std::string& path);
// The size of a file as the 32-bit size fields hold it; 0 when unknown.
uint32_t FileSize32(const std::string& path);
