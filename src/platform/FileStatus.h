#pragma once
// File status as packages carry it, on this platform: times as 14-digit local-time texts,
// attributes as the low byte of the framework's attribute word.
//   0x01 read-only  the owner has no write permission (applying it clears every write bit,
//                   clearing it gives the owner write permission back)
//   0x02 hidden     the name begins with "."
//   0x10 folder, 0x20 archive (reported for every regular file); 0x04 system is never set.
// Creation time is the birth time where the file system keeps one, else the modification
// time; it cannot be set here, so applying a status restores modification time and attributes.

#include <cstdint>
#include <ctime>
#include <string>

constexpr unsigned char kAttrReadOnly = 0x01;
constexpr unsigned char kAttrHidden = 0x02;
constexpr unsigned char kAttrSystem = 0x04;
constexpr unsigned char kAttrFolder = 0x10;
constexpr unsigned char kAttrArchive = 0x20;

constexpr size_t kTimeTextLength = 14;

struct FileStatusInfo {
    char modifyTime[kTimeTextLength + 1] = {};
    char createTime[kTimeTextLength + 1] = {};
    uint64_t size = 0;
    unsigned char attributes = 0;
};

// The status of the file or folder at path; false when the system cannot report it.
bool ReadFileStatus(const std::string& path, FileStatusInfo& out);
// Gives the file or folder at path what this platform can hold of an attribute byte (the
// read-only bit); the other bits are ignored. False when the system refuses.
bool ApplyAttributes(const char* path, unsigned char attributes);
// The same with the modification time of a time text, through an open file: the status sticks
// to that file whatever its name leads to. A text that is no real date leaves the times alone
// (the attributes still apply); false then, or when the system refuses.
bool ApplyFileStatus(int fd, const char* modifyTime, unsigned char attributes);

// The size and times of the file at path (a link followed), for showing: the creation time is
// the birth time where the file system keeps one, else the modification time.
struct PathTimes {
    int64_t size = 0;
    time_t created = 0, modified = 0, accessed = 0;
};
bool ReadPathTimes(const std::string& path, PathTimes* out);

// Writes t as the local-time text (room for 15); false when its year has no 4-digit form.
bool FormatTimeText(time_t t, char* out);
// Reads a local-time text: exactly 14 digits forming a real date and time of day. False for
// anything else (short, long, non-digits, month 13, 31 February, hour 24, ...).
bool ParseTimeText(const char* text, time_t* out);

// The six parts of a time text for display: year (4), month, day, hour, minute, second (2
// each). Parts missing from a short text are empty; nothing beyond the text is read.
struct TimeTextParts {
    std::string year, month, day, hour, minute, second;
};
TimeTextParts SplitTimeText(const std::string& text);
