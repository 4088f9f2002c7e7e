// The engine's file-status members: a file's times, size and attributes taken so they can
// travel inside a package, and given back to a restored file.

#include "platform/FileStatus.h"

#include <cstring>

#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "platform/FileSystem.h"

int CKorvane::GetFileStatus(CFile* file, char* modifyTime, char* createTime, unsigned long* size,
                            unsigned char* attributes) try {
    EngineCall call(m_context);
    FileStatusInfo status;
    if (file == nullptr || !file->IsOpen() || !ReadFileStatus(file->GetFilePath(), status)) return 0;
    if (modifyTime) std::memcpy(modifyTime, status.modifyTime, sizeof status.modifyTime);
    if (createTime) std::memcpy(createTime, status.createTime, sizeof status.createTime);
    if (size) *size = static_cast<unsigned long>(status.size);
    if (attributes) *attributes = status.attributes;
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}

namespace {

bool NamesFile(const char* path) {
    ILogon* logon = LogonLibrary();
    return logon ? logon->FileExists(path) != 0 : IsExistingFile(path);
}

}  // namespace

int CKorvane::SetFileStatus(const char* path, const char* modifyTime, const char* createTime,
                            unsigned char attributes) try {
    EngineCall call(m_context);
    // The creation time cannot be set on this platform; a 14-character text is accepted and
    // left unapplied, anything else is ignored as the format prescribes.
    (void)createTime;
    if (path == nullptr || !NamesFile(path)) return 0;
    // A time text that is no real date leaves the times alone; the attributes still apply.
    time_t modified = 0;
    bool timed = ParseTimeText(modifyTime, &modified);
    if (timed && !SetModifiedTime(path, modified)) timed = false;
    bool applied = ApplyAttributes(path, attributes);
    return timed && applied ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::SetFileArchiveStatus(const char* path, unsigned char attributes) try {
    EngineCall call(m_context);
    if (path == nullptr || !NamesFile(path)) return 0;
    return ApplyAttributes(path, attributes) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}
