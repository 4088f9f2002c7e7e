// Settings (section, key, value), the path and list helpers, the e-mail check, and the
// output-folder and open queries, which answer 0 unless the settings configure them:
//   "Option"/"MarkOutput" = TRUE   the output-folder query answers 1; between BeginOutput
//                                  and EndOutput the file "writing" in the suite folder
//                                  names the folder being written (for sync tools)
//   "Option"/"OpenWith" = program  the open query runs "program PATH" and answers 1 when
//                                  it exits with status 0

#include <cerrno>
#include <filesystem>

#include "logon/LogonStore.h"
#include "logon/StoreMessages.h"
#include "platform/AtomicFile.h"
#include "platform/ChildProcess.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kOptionSection = "Option";

}  // namespace

// ---- Settings

std::string LogonStore::GetOption(const std::string& section, const std::string& key, const std::string& dflt) {
    logon::Statement q(m_db, "SELECT value FROM options WHERE section = ?1 AND key = ?2");
    q.Bind(1, section).Bind(2, key);
    return q.Next() ? q.Text(0) : dflt;
}

bool LogonStore::SetOption(const std::string& section, const std::string& key, const std::string& value) {
    return SetOptions(section, {{key, value}});
}

bool LogonStore::SetOptions(const std::string& section,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    if (section.empty()) return Fail(MessageText(msg::logon_store::EmptySection));
    if (std::string error = logon::CheckOptionText(msg::logon_store::TheSectionName, section, kLogonOptionNameRoom);
        !error.empty()) {
        return Fail(error);
    }
    for (const auto& [key, value] : values) {
        if (key.empty()) return Fail(MessageText(msg::logon_store::EmptyKey));
        for (const std::string& error :
             {logon::CheckOptionText(msg::logon_store::TheKey, key, kLogonOptionNameRoom),
              logon::CheckOptionText(msg::logon_store::TheValue, value, kLogonOptionValueRoom)}) {
            if (!error.empty()) return Fail(error);
        }
    }
    logon::Transaction tx(m_db);
    bool ok = tx.Ok();
    for (const auto& [key, value] : values) {
        logon::Statement set(m_db,
                             "INSERT INTO options (section, key, value) VALUES (?1, ?2, ?3) "
                             "ON CONFLICT(section, key) DO UPDATE SET value = ?3");
        ok = ok && set.Bind(1, section).Bind(2, key).Bind(3, value).Run();
    }
    return ok && tx.Commit() ? true : Fail(MessageText(msg::logon_store::CannotChangeSettings, m_db.Error()));
}

// ---- Paths

int LogonStore::FileExists(const std::string& path) { return IsExistingFile(path) ? 1 : 0; }

int LogonStore::FolderExists(const std::string& path) { return IsExistingFolder(path) ? 1 : 0; }
int LogonStore::MakeFolder(const std::string& path) { return MakeFolders(path) ? 1 : 0; }
int LogonStore::RemoveFile(const std::string& path) { return RemoveRegularFile(path) ? 1 : 0; }
uint32_t LogonStore::GetFileSize(const std::string& path) { return FileSize32(path); }

void LogonStore::SplitName(const std::string& path, std::string& out) { out = LogonSplitName(path); }
void LogonStore::SplitFolder(const std::string& path, std::string& out) { out = LogonSplitFolder(path); }
void LogonStore::SplitExt(const std::string& path, std::string& out) { out = LogonSplitExt(path); }

// ---- Mail and lists

int LogonStore::IsMailAddressUsable(const std::string& email) {
    return logon::MailAddressWellFormed(LogonTrim(email)) ? 1 : 0;
}

int LogonStore::CountListItems(const std::string& list) { return CountLogonListItems(list); }

int LogonStore::GetListItem(const std::string& list, int index, std::string& out) {
    return LogonListItem(list, index, out) ? 1 : 0;
}

// ---- Output and open queries

int LogonStore::QueryOutputFolder(const std::string& folder) {
    if (!IsOpen() || !LogonEqualNoCase(GetOption(kOptionSection, "MarkOutput", "FALSE"), "TRUE")) return 0;
    if (m_outputDepth == 0) WriteOwnerOnlyFile(m_home + "/writing", folder + "\n");
    return 1;
}

void LogonStore::BeginOutput() { ++m_outputDepth; }

void LogonStore::EndOutput() {
    if (m_outputDepth > 0 && --m_outputDepth == 0) {
        std::error_code ec;
        fs::remove(m_home + "/writing", ec);
    }
}

int LogonStore::OpenResult(const std::string& path) {
    std::string program = IsOpen() ? LogonTrim(GetOption(kOptionSection, "OpenWith", "")) : std::string();
    if (program.empty()) return 0;
    return RunProgram({program, path}) == 0 ? 1 : 0;
}

int LogonStore::OpenStore(LogonStoreKind /*kind*/) { return IsOpen() ? 1 : 0; }
