// The logon store as a whole: opening the suite folder and its database, closing, and the
// folders it keeps. The operations live in files by concept: LogonStoreSession.cpp,
// LogonStoreUsers.cpp, LogonStoreCerts.cpp, LogonStoreGroups.cpp, LogonStoreSettings.cpp.

#include "logon/LogonStore.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "logon/StoreMessages.h"
#include "platform/TempFolder.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDatabaseName = "logon.db";
constexpr const char* kCertFolderName = "certs";
constexpr const char* kMailFolderName = "mail";

// Creates the database file owner-only before SQLite opens it; SQLite gives its journal
// and WAL files the permissions of the database file.
bool CreateOwnerOnly(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        error = MessageText(msg::logon_store::CannotOpenFile, path, std::strerror(errno));
        return false;
    }
    ::close(fd);
    return true;
}

// "user NAME (UID)" for messages about who owns a path.
std::string OwnerText(uid_t uid) {
    struct passwd* pw = ::getpwuid(uid);
    return pw ? MessageText(msg::logon_store::OwnerNamed, pw->pw_name, static_cast<unsigned>(uid))
              : MessageText(msg::logon_store::OwnerNumber, static_cast<unsigned>(uid));
}

// Why a path of the store may not be used, or empty. Everything in a suite must be the
// effective user's and writable by nobody else: another local user who could put a store of
// their own in its place would read what a new user's key and password verifier are sealed
// with. Files (the database and its journals hold the keys) must not be readable by others
// either. A link inside the suite is never followed.
std::string UntrustedPath(const std::string& path, bool folder, bool follow) {
    struct stat st {};
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return {};
    const mode_t others = folder ? (S_IWGRP | S_IWOTH) : (S_IRWXG | S_IRWXO);
    const bool right = folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
    if (right && st.st_uid == ::geteuid() && (st.st_mode & others) == 0) return {};
    return MessageText(msg::logon_store::RefuseSuiteFolder, path, OwnerText(st.st_uid),
                       static_cast<unsigned>(st.st_mode & 07777),
                       MessageText(folder ? msg::logon_store::Writable : msg::logon_store::Readable));
}

// Why a suite may not be made or kept at `folder`, or empty: the nearest folder that exists on
// the way must be the user's or the system's, and one others may write to must keep their
// names apart (the sticky bit), so that nobody else can swap the store for their own.
std::string UntrustedParent(const std::string& folder) {
    fs::path parent = fs::path(folder).parent_path();
    struct stat st {};
    while (::stat(parent.c_str(), &st) != 0 && parent.has_relative_path()) parent = parent.parent_path();
    const bool owner = st.st_uid == ::geteuid() || st.st_uid == 0;
    const bool shared = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0;
    if (owner && !shared) return {};
    return MessageText(msg::logon_store::RefuseParent, parent.string(), OwnerText(st.st_uid),
                       static_cast<unsigned>(st.st_mode & 07777));
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
        if (!logon::MakeOwnerOnlyFolder(f)) {
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
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        ::chmod(folder.c_str(), st.st_mode & S_IRWXU);
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
    if (!logon::MakeOwnerOnlyFolder(path)) return 0;
    folder = path + "/";
    return 1;
}
