#pragma once
// The delete log "LumoLog.txt": what secure deletion could not remove, with the system's
// reason, so the user can see what is left. It lives in the user's own temporary folder
// (see platform/TempFolder.h) and is made anew for every deletion call. Lines end in CR LF:
//   以下文件或目录未被删除:
//   <path>, 出错原因: <the system's text for the error, or a reason below>
//
// The log is never opened through a symbolic link, and an existing "LumoLog.txt" that is not
// a plain file of the user's own is left alone: deletion then goes on without a log, so
// nobody can make a deletion write into another file through it.

#include <string>

#include "platform/CFile.h"

constexpr const char* kDeleteLogName = "LumoLog.txt";
constexpr const char* kDeleteLogHeading = "以下文件或目录未被删除:%s";
constexpr const char* kDeleteLogEntry = "%s, 出错原因: %s%s";
constexpr const char* kDeleteLogEntryNoText = "%s %s";
constexpr const char* kDeleteLogLineEnd = "\r\n";
// Reasons of the deletion's own, in place of the system's text: a file with other names (its
// name removed, its content left for them), a file that could not be overwritten (its name
// removed when the system allowed it; %s the system's text), a name that led to another file
// by the time it was to be removed (that file put back, or, when its name was taken again by
// then, left under the temporary name %s), and a path ending in "." or "..".
constexpr const char* kDeleteLogOtherNames = "其他名称仍在，内容未被擦除";
constexpr const char* kDeleteLogNotOverwritten = "内容未被擦除: %s";
constexpr const char* kDeleteLogReplaced = "擦除期间文件被替换，未被删除";
constexpr const char* kDeleteLogReplacedAside = "擦除期间文件被替换，未被删除；替换它的文件现名为%s";
constexpr const char* kDeleteLogDotRefused = "不删除\".\"或\"..\"";
constexpr const char* kDeleteLogRootRefused = "不删除根文件夹";

class DeleteLog : public CFile {
public:
    // Creates (or truncates) the log; false when it cannot be made safely.
    bool Create();
    const std::string& Path() const { return m_path; }
};

// The log's path in the user's temporary folder; empty when that folder cannot be made.
std::string DeleteLogPath();

// The text of one log entry for path and the system's error number.
std::string DeleteLogEntryText(const std::string& path, int error);
