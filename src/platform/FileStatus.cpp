// A file's times, size and attributes as packages carry them, read from and given back to
// this platform's files.

#include "platform/FileStatus.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FileSystem.h"

namespace {

bool ReadStatx(const std::string& path, struct statx& st) {
    return statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) == 0;
}

unsigned char AttributesOf(const std::string& path, const struct statx& st) {
    unsigned char attr = 0;
    if (S_ISDIR(st.stx_mode))
        attr |= kAttrFolder;
    else
        attr |= kAttrArchive;
    if ((st.stx_mode & S_IWUSR) == 0) attr |= kAttrReadOnly;
    std::string name = NameOfPath(path);
    if (name.size() > 1 && name[0] == '.' && name != "..") attr |= kAttrHidden;
    return attr;
}

}  // namespace

namespace {

// The permission bits `mode` becomes under an attribute byte: only the read-only bit counts.
mode_t AttributedMode(mode_t mode, unsigned char attributes) {
    mode &= 07777;
    if (attributes & kAttrReadOnly) return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode | S_IWUSR;
}

}  // namespace

bool ReadPathTimes(const std::string& path, PathTimes* out) {
    struct statx st {};
    if (!ReadStatx(path, st)) return false;
    out->size = static_cast<int64_t>(st.stx_size);
    out->created = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
    out->modified = st.stx_mtime.tv_sec;
    out->accessed = st.stx_atime.tv_sec;
    return true;
}

// Applies what this platform can hold of an attribute byte: the read-only bit.
bool ApplyAttributes(const char* path, unsigned char attributes) {
    struct stat st {};
    if (stat(path, &st) != 0) return false;
    mode_t mode = AttributedMode(st.st_mode, attributes);
    return mode == (st.st_mode & 07777) || chmod(path, mode) == 0;
}

bool ApplyFileStatus(int fd, const char* modifyTime, unsigned char attributes) {
    time_t modified = 0;
    bool timed = modifyTime != nullptr && ParseTimeText(modifyTime, &modified);
    struct timespec times[2] = {{0, UTIME_OMIT}, {modified, 0}};
    if (timed && ::futimens(fd, times) != 0) timed = false;
    struct stat st {};
    bool applied = ::fstat(fd, &st) == 0;
    if (applied) {
        mode_t mode = AttributedMode(st.st_mode, attributes);
        applied = mode == (st.st_mode & 07777) || ::fchmod(fd, mode) == 0;
    }
    return timed && applied;
}

namespace {

bool Digits(const char* text, size_t from, size_t count, int* out) {
    int v = 0;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    *out = v;
    return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool FormatTimeText(time_t t, char* out) {
    struct tm local {};
    if (localtime_r(&t, &local) == nullptr) return false;
    int year = local.tm_year + 1900;
    if (year < 0 || year > 9999) return false;
    char text[64];
    int n = std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour, local.tm_min, local.tm_sec);
    if (n != static_cast<int>(kTimeTextLength)) return false;
    std::memcpy(out, text, kTimeTextLength + 1);
    return true;
}

bool ParseTimeText(const char* text, time_t* out) {
    if (text == nullptr || strnlen(text, kTimeTextLength + 1) != kTimeTextLength) return false;
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, &year) || !Digits(text, 4, 2, &month) || !Digits(text, 6, 2, &day) ||
        !Digits(text, 8, 2, &hour) || !Digits(text, 10, 2, &minute) || !Digits(text, 12, 2, &second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > DaysIn(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    struct tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // daylight-saving time is the system's to decide
    errno = 0;
    time_t t = mktime(&local);
    if (t == static_cast<time_t>(-1) && errno != 0) return false;
    *out = t;
    return true;
}

TimeTextParts SplitTimeText(const std::string& text) {
    auto part = [&](size_t from, size_t n) { return from < text.size() ? text.substr(from, n) : std::string(); };
    return {part(0, 4), part(4, 2), part(6, 2), part(8, 2), part(10, 2), part(12, 2)};
}

bool ReadFileStatus(const std::string& path, FileStatusInfo& out) {
    struct statx st {};
    if (path.empty() || !ReadStatx(path, st)) return false;
    time_t modified = st.stx_mtime.tv_sec;
    time_t created = (st.stx_mask & STATX_BTIME) ? static_cast<time_t>(st.stx_btime.tv_sec) : modified;
    if (!FormatTimeText(modified, out.modifyTime) || !FormatTimeText(created, out.createTime)) return false;
    out.size = st.stx_size;
    out.attributes = AttributesOf(path, st);
    return true;
}
