#pragma once
// The plain functions the shell and the suite's programs call about what the user selected:
// is this a secured file, how large is this selection, what does this drive hold, and the
// property sheets of files, folders and drives (shell/PropertySheet.h).
//
// A multi-path list is NUL-separated paths ended by an empty one. Sizes and counts are
// 64-bit. Drives are mount points (platform/Drives.h); a drive root is a mount point's path,
// with or without a trailing separator.

#include <cstdint>
#include <string>

extern "C" {
// 1 when path names an existing file whose extension is "vrk" or "idi" (any case); the
// decision rests on the name only, the file's head is not read.
int IsEncryptedFile(const char* path);
// The property sheet of one file; "文件不存在" when there is none.
void DispFileProperty(const char* path);
// The sheet of a selection: one existing file shows the file's sheet; anything else the
// drive and multiple-item page. *pModified becomes 1 when the user changed an attribute box
// and closed the sheet with OK, else 0.
void DisplayFDProperty(char* list, int* pModified);
// 1 when path is a mount point of the system's mount table, else 0 (also when the table
// cannot be read).
int IsLogicDrive(const char* path);
// Free space open to the caller, total size and total free space of the drive holding root.
// Non-zero on success; the three values are 0 on failure.
int GetDriveAmount(const char* root, int64_t* freeToCaller, int64_t* total, int64_t* totalFree);
// Walks the list: every file adds 1 to files and its size to size; every folder (each named
// one and each below) adds 1 to folders. "dirinfo" entries are neither counted nor sized,
// symbolic links inside a folder are passed over (a named one is followed). 0 when an entry
// does not exist or a folder's entries cannot all be read; the counters keep what was added
// until then.
int Collect_FDs_Info(char* list, int64_t* size, int64_t* files, int64_t* folders);
}

// The two forms of a count of bytes: grouped by thousands ("1,234,567") and scaled
// ("1023 字节", "1.21 KB", "1000.00 MB", "0.98 GB"). Either output may be null.
void FromatLargeNumber(int64_t n, std::string* grouped, std::string* scaled);
