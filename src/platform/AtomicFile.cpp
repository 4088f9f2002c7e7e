#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <openssl/rand.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "platform/SignalCleanup.h"

namespace {

constexpr size_t kMaxNameBytes = 255;
const char kTempSuffix[] = ".varnex-";
constexpr size_t kRandomChars = 6;

std::string RandomChars() {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomChars] = {};
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        // Uniqueness, not secrecy, is what counts here; O_EXCL catches a collision.
        for (size_t i = 0; i < kRandomChars; ++i) bytes[i] = static_cast<unsigned char>(::random());
    }
    std::string out;
    for (unsigned char b : bytes) out += kAlphabet[b % (sizeof kAlphabet - 1)];
    return out;
}

}  // namespace

bool IsTempName(const std::string& name) {
    const size_t tail = sizeof kTempSuffix - 1 + kRandomChars;
    if (name.size() <= tail + 1 || name[0] != '.') return false;
    if (name.compare(name.size() - tail, sizeof kTempSuffix - 1, kTempSuffix) != 0) return false;
    for (size_t i = name.size() - kRandomChars; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

std::string TempNameFor(const std::string& name) {
    size_t room = kMaxNameBytes - 1 - (sizeof kTempSuffix - 1) - kRandomChars;
    std::string kept = name;
    if (kept.size() > room) {
        size_t cut = room;
        // Never end inside a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(kept[cut]) & 0xC0) == 0x80) --cut;
        kept.resize(cut);
    }
    return "." + kept + kTempSuffix;
}

std::vector<std::string> TempFilesFor(const std::string& path) {
    std::vector<std::string> found;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string prefix = TempNameFor(path.substr(slash == std::string::npos ? 0 : slash + 1));
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return found;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) == 0 && name.size() == prefix.size() + kRandomChars &&
            IsTempName(name))
            found.push_back(slash == std::string::npos ? name : folder + name);
    }
    ::closedir(dir);
    return found;
}

bool MoveAside(int folderFd, const std::string& name, std::string* aside) {
    const std::string prefix = TempNameFor(name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + RandomChars();
        if (RenameNoReplace(folderFd, name, candidate)) {
            *aside = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

bool RenameNoReplace(int folderFd, const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, folderFd, from.c_str(), folderFd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) != 0) return false;
    ::unlinkat(folderFd, from.c_str(), 0);
    return true;
}

bool CAtomicFile::Fail(int err, CFileException* error) {
    if (error) *error = CFileException::FromErrno(err, m_final);
    Discard();
    return false;
}

bool CAtomicFile::Create(const std::string& finalPath, CFileException* error, mode_t mode) {
    Discard();
    m_final = finalPath;
    size_t slash = finalPath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : finalPath.substr(0, slash);
    m_name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (m_name.empty()) return Fail(EISDIR, error);
    m_ownedFolder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_ownedFolder < 0) return Fail(errno, error);
    m_folder = m_ownedFolder;
    return CreateInFolder(error, mode);
}

bool CAtomicFile::CreateIn(int folderFd, const std::string& name, const std::string& finalPath, CFileException* error,
                           mode_t mode) {
    Discard();
    m_final = finalPath;
    m_name = name;
    m_folder = folderFd;
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return Fail(EINVAL, error);
    return CreateInFolder(error, mode);
}

void CAtomicFile::UseFolder(int folderFd) {
    // Registered through the new descriptor before the old registration goes: a signal in
    // between finds the file either way.
    if (!m_tempName.empty()) {
        const int slot = RegisterTempFile(folderFd, m_tempName.c_str());
        ForgetTempFile(m_slot);
        m_slot = slot;
    }
    if (m_ownedFolder >= 0) ::close(m_ownedFolder);
    m_ownedFolder = -1;
    m_folder = folderFd;
}

bool CAtomicFile::CreateInFolder(CFileException* error, mode_t mode) {
    std::string prefix = TempNameFor(m_name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = prefix + RandomChars();
        // Registered before it exists: a signal between the two finds nothing to remove.
        int slot = RegisterTempFile(m_folder, temp.c_str());
        int fd = ::openat(m_folder, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            int err = errno;
            ForgetTempFile(slot);
            if (err == EEXIST) continue;
            return Fail(err, error);
        }
        m_tempName = temp;
        m_slot = slot;
        m_file.Attach(fd, m_final);
        return true;
    }
    return Fail(EEXIST, error);
}

bool CAtomicFile::Close(CFileException* error) {
    if (m_tempName.empty()) return Fail(EBADF, error);
    if (m_closed) return true;
    // Only a replacing move needs to know what it replaces (a folder is refused, a file's mode
    // kept, the new content made durable first); the no-replace move refuses any existing name
    // by itself.
    struct stat existing {};
    const bool replaces = m_replace && ::fstatat(m_folder, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (replaces && S_ISDIR(existing.st_mode)) return Fail(EISDIR, error);
    try {
        // A replaced file keeps its permission bits; a link is replaced as a new file.
        if (replaces && S_ISREG(existing.st_mode) && m_keepReplacedMode)
            ::fchmod(m_file.Fd(), existing.st_mode & 07777);
        if (m_finish) m_finish(m_file.Fd());
        // Replacing a file: the new content must be on disk before the old one goes.
        if (replaces) m_file.Flush();
        m_file.Close();
    } catch (const CFileException& e) {
        if (error) *error = e;
        Discard();
        return false;
    }
    m_closed = true;
    return true;
}

bool CAtomicFile::Commit(CFileException* error) {
    if (!Close(error)) return false;
    struct stat existing {};
    bool moved = m_replace ? ::renameat(m_folder, m_tempName.c_str(), m_folder, m_name.c_str()) == 0
                           : RenameNoReplace(m_folder, m_tempName, m_name);
    if (!moved) {
        int err = errno;
        // A folder in the way is named as such, as when replacing.
        if (err == EEXIST && ::fstatat(m_folder, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(existing.st_mode))
            err = EISDIR;
        return Fail(err, error);
    }
    ForgetTempFile(m_slot);
    m_slot = -1;
    m_tempName.clear();
    Discard();
    return true;
}

bool WriteOwnerOnlyFile(const std::string& path, std::string_view content) {
    CAtomicFile file;
    if (!file.Create(path, nullptr, S_IRUSR | S_IWUSR)) return false;
    file.SetReplace(true);
    file.SetKeepReplacedMode(false);
    try {
        // The umask may have taken bits away, never added any: still owner-only.
        file.File()->Write(content.data(), static_cast<unsigned>(content.size()));
        file.File()->Flush();
    } catch (const CFileException&) {
        return false;
    }
    return file.Commit(nullptr);
}

void CAtomicFile::Discard() {
    m_file.Abort();
    if (!m_tempName.empty()) ::unlinkat(m_folder, m_tempName.c_str(), 0);
    ForgetTempFile(m_slot);
    m_slot = -1;
    m_tempName.clear();
    m_closed = false;
    if (m_ownedFolder >= 0) ::close(m_ownedFolder);
    m_ownedFolder = -1;
    m_folder = -1;
}
