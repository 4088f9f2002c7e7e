// The logon store as a whole: opening the suite folder and its database, closing, and the
// folders it keeps. The operations live in files by concept: LogonStoreSession.cpp,
// LogonStoreUsers.cpp, LogonStoreCerts.cpp, LogonStoreGroups.cpp, LogonStoreSettings.cpp.

#include "logon/LogonStore.h"

#include <openssl/crypto.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "logon/StoreMessages.h"
#include "platform/FileSystem.h"
#include "platform/PathInfo.h"
#include "platform/TempFolder.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace {

// "user NAME (UID)", or "user UID" when the system knows no name, for messages about owners.
std::string OwnerText(unsigned uid) {
    const std::string name = UserName(uid);
    return name.empty() ? MessageText(msg::logon_store::OwnerNumber, uid)
                        : MessageText(msg::logon_store::OwnerNamed, name, uid);
}

constexpr const char* kDatabaseName = "logon.db";
constexpr const char* kCertFolderName = "certs";
constexpr const char* kMailFolderName = "mail";

// Creates the database file owner-only before SQLite opens it; SQLite gives its journal
// and WAL files the permissions of the database file.
bool CreateOwnerOnly(const std::string& path, std::string& error) {
    if (MakeOwnerOnlyFile(path)) return true;
    error = MessageText(msg::logon_store::CannotOpenFile, path, std::strerror(errno));
    return false;
}

// Why a path of the store may not be used, or empty. Everything in a suite must be the
// effective user's and writable by nobody else: another local user who could put a store of
// their own in its place would read what a new user's key and password verifier are sealed
// with. Files (the database and its journals hold the keys) must not be readable by others
// either. A link inside the suite is never followed.
std::string UntrustedPath(const std::string& path, bool folder, bool follow) {
    PathInfo info;
    if (!LookUpPath(path, &info, follow)) return {};
    const unsigned others = folder ? 022 : 077;
    const bool right = info.kind == (folder ? PathKind::Folder : PathKind::File);
    if (right && info.owner == CurrentUser() && (info.mode & others) == 0) return {};
    return MessageText(msg::logon_store::RefuseSuiteFolder, path, OwnerText(info.owner), info.mode,
                       MessageText(folder ? msg::logon_store::Writable : msg::logon_store::Readable));
}

// Why a suite may not be made or kept at `folder`, or empty: the nearest folder that exists on
// the way must be the user's or the system's, and one others may write to must keep their
// names apart (the sticky bit), so that nobody else can swap the store for their own.
std::string UntrustedParent(const std::string& folder) {
    fs::path parent = fs::path(folder).parent_path();
    PathInfo info;
    while (!LookUpPath(parent.string(), &info, true) && parent.has_relative_path()) parent = parent.parent_path();
    const bool owner = info.owner == CurrentUser() || info.owner == 0;
    const bool shared = (info.mode & 022) != 0 && (info.mode & 01000) == 0;  // writable by others, not sticky
    if (owner && !shared) return {};
    return MessageText(msg::logon_store::RefuseParent, parent.string(), OwnerText(info.owner), info.mode);
}

}  // namespace

LogonStore::LogonStore(const logon::KeyCost& cost) : m_cost(cost) {}

LogonStore::~LogonStore() { Close(); }

bool LogonStore::Fail(std::string text) {
    m_error = std::move(text);
    return false;
}

bool LogonStore::Open(const std::string& home) {
    Close();
    m_error.clear();
    if (home.empty()) return Fail(MessageText(msg::logon_store::NoSuiteFolder));
    std::error_code ec;
    std::string folder = fs::absolute(home, ec).lexically_normal().string();
    if (ec) folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        return Fail(MessageText(msg::logon_store::NotAFolder, folder));
    }
    if (std::string why = UntrustedParent(folder); !why.empty()) return Fail(why);
    if (std::string why = UntrustedPath(folder, true, true); !why.empty()) return Fail(why);
    for (const std::string& f : {folder, folder + "/" + kCertFolderName, folder + "/" + kMailFolderName}) {
        if (!MakeOwnerOnlyFolders(f)) {
            return Fail(MessageText(msg::logon_store::CannotCreateFolder, f, std::strerror(errno)));
        }
        if (std::string why = UntrustedPath(f, true, f == folder); !why.empty()) return Fail(why);
    }
    std::string path = folder + "/" + kDatabaseName;
    for (const char* tail : {"", "-journal", "-wal", "-shm"}) {
        if (std::string why = UntrustedPath(path + tail, false, false); !why.empty()) return Fail(why);
    }
    // The folder holds the store and the private keys: one left readable by others (a copy, a
    // umask, a hand-made folder) is tightened to its owner.
    if (PathInfo info; LookUpPath(folder, &info, true) && (info.mode & 077) != 0)
        SetPermissions(folder, info.mode & 0700);
    if (!CreateOwnerOnly(path, m_error)) return false;
    if (!m_db.Open(path)) return Fail(MessageText(msg::logon_store::CannotOpenStore, path, m_db.Error()));
    if (!m_db.EnsureSchema()) {
        std::string why = m_db.Error();
        m_db.Close();
        return Fail(MessageText(msg::logon_store::NotUsableStore, path, why));
    }
    m_home = folder;
    SetSuiteFolder(folder);  // the user's temporary folder lies below it
    return true;
}

void LogonStore::Close() {
    LogOff();
    m_db.Close();
    m_home.clear();
    m_outputDepth = 0;
}

std::string LogonStore::DatabasePath() const { return m_home + "/" + kDatabaseName; }

std::string LogonStore::CertFolder() const { return m_home + "/" + kCertFolderName + "/"; }

bool LogonStore::CheckIntegrity() {
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    return m_db.IntegrityOk() ? true : Fail(MessageText(msg::logon_store::IntegrityFailed, m_db.Error()));
}

int LogonStore::GetMailFolder(std::string& folder) {
    if (!IsOpen()) return 0;
    std::string path = m_home + "/" + kMailFolderName;
    if (!MakeOwnerOnlyFolders(path)) return 0;
    folder = path + "/";
    return 1;
}
