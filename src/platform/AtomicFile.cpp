#include "platform/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

bool CAtomicFile::Create(const std::string& finalPath, CFileException* error) {
    Discard();
    m_final = finalPath;
    size_t slash = finalPath.rfind('/');
    std::string temp = (slash == std::string::npos ? std::string() : finalPath.substr(0, slash + 1)) + ".varnex-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        if (error) *error = CFileException::FromErrno(errno, finalPath);
        return false;
    }
    ::close(fd);
    m_temp = temp;
    if (!m_file.Open(m_temp, CFile::modeReadWrite, error)) {
        Discard();
        return false;
    }
    return true;
}

bool CAtomicFile::Commit(CFileException* error) {
    struct stat existing {};
    bool replaces = ::lstat(m_final.c_str(), &existing) == 0;
    try {
        // Replacing a file: the new content must be on disk before the old one goes.
        if (replaces) m_file.Flush();
        m_file.Close();
    } catch (const CFileException& e) {
        if (error) *error = e;
        Discard();
        return false;
    }
    if (replaces && S_ISDIR(existing.st_mode)) {
        if (error) *error = CFileException::FromErrno(EISDIR, m_final);
        Discard();
        return false;
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(m_temp.c_str(), 0666 & ~mask);
    if (::rename(m_temp.c_str(), m_final.c_str()) != 0) {
        if (error) *error = CFileException::FromErrno(errno, m_final);
        Discard();
        return false;
    }
    m_temp.clear();
    return true;
}

void CAtomicFile::Discard() {
    m_file.Abort();
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}
