#pragma once
// What the system says of a path or an open file: its kind, owner, permission bits and
// identity. Subsystems ask here and decide for themselves what an answer means.

#include <string>

#include "platform/FileIdentity.h"

// The current folder, where a call asks for an open folder: a path is then taken as it is.
inline constexpr int kCurrentFolder = -100;  // the system's AT_FDCWD

// What lies at a path.
enum class PathKind { Missing, File, Folder, Link, Other };

struct PathInfo {
    PathKind kind = PathKind::Missing;
    unsigned owner = 0;  // the owning user's id
    unsigned mode = 0;   // permission bits (07777)
    unsigned links = 0;  // names that lead to it
    FileIdentity identity;
};

// False (errno set, *info Missing) when nothing is there or the system cannot tell. A final
// symbolic link is followed only when `followLink`; otherwise it is reported as a Link.
bool LookUpPath(const std::string& path, PathInfo* info, bool followLink);
// The same for an open descriptor, and for the entry `name` of an open folder (never through a
// link).
bool LookUpOpen(int fd, PathInfo* info);
bool LookUpAt(int folder, const char* name, PathInfo* info);

// The user this process acts as (its effective user id).
unsigned CurrentUser();
// The name of the user with that id; empty when the system knows none.
std::string UserName(unsigned uid);

// Whether something is at the path, a symbolic link included (never followed).
bool NameIsTaken(const std::string& path);
// Whether two paths lead to the same file (links followed): false when either is missing.
bool SameTarget(const std::string& a, const std::string& b);
// Whether an open descriptor and a path lead to the same file (the path's link not followed).
bool SameFileAsPath(int fd, const std::string& path);
