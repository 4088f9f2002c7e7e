#pragma once
// What the file system holds at a path, asked directly. The engine asks the logon library when
// one is installed and falls back to these, so it works the same without one.

#include <string>

bool IsExistingFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
