#pragma once
// Path rules of the package walkers on this platform. Folders the walkers keep end with the
// native separator; relative folder names stored in packages use '\', and readers accept '\'
// and '/' alike.

#include <string>

#include "platform/FileSystem.h"

constexpr char kSep = '/';
constexpr char kStoredSep = '\\';

// "dir/name" -> "dir/" (with separator); a bare name gives "".
std::string FolderPart(const std::string& path);
// "dir/name" -> "name".
std::string NamePart(const std::string& path);
std::string WithSeparator(std::string folder);

// A relative folder as stored ('\' separators) from one in native form, and back.
std::string ToStoredFolder(const std::string& native);
std::string FromStoredFolder(const std::string& stored);
// A stored relative folder is safe when, read as native, it cannot leave the folder it is
// joined to: not absolute, no ".." component. An empty name is the base folder itself.
bool IsSafeStoredFolder(const std::string& stored);
// A stored file name is safe when it is one name: not empty, no separator, not "." or "..".
bool IsSafeStoredName(const std::string& stored);
