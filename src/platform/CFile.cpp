#include "platform/CFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

CFileException::Cause CauseOf(int err) {
    switch (err) {
        case ENOENT:
            return CFileException::fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
            return CFileException::badPath;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return CFileException::accessDenied;
        case ESPIPE:
            return CFileException::badSeek;
        case EIO:
            return CFileException::hardIO;
        case ENOSPC:
        case EDQUOT:
            return CFileException::diskFull;
        default:
            return CFileException::generic;
    }
}

}  // namespace

CFileException CFileException::FromErrno(int err, const std::string& path) {
    return CFileException(CauseOf(err), err, path);
}

std::string CFileException::ErrorText() const {
    if (m_lOsError != 0) return std::strerror(m_lOsError);
    switch (m_cause) {
        case none:
            return {};
        case endOfFile:
            return "End of file";
        case badSeek:
            return "Invalid seek";
        case notRegular:
            return "Not a regular file";
        default:
            return "File error";
    }
}

int CFileException::GetErrorMessage(char* out, unsigned max) const {
    if (out == nullptr || max == 0) return 0;
    std::string text = ErrorText();
    size_t n = std::min<size_t>(text.size(), max - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return text.empty() ? 0 : 1;
}

CFile::CFile(const std::string& path, unsigned flags) {
    CFileException error;
    if (!Open(path, flags, &error)) throw error;
}

CFile::~CFile() { Abort(); }

bool CFile::Open(const std::string& path, unsigned flags, CFileException* error) {
    Abort();
    int oflags = O_CLOEXEC;
    switch (flags & 3) {
        case modeWrite:
            oflags |= O_WRONLY;
            break;
        case modeReadWrite:
            oflags |= O_RDWR;
            break;
        default:
            oflags |= O_RDONLY;
            break;
    }
    if (flags & modeCreate) {
        oflags |= O_CREAT;
        if (!(flags & modeNoTruncate)) oflags |= O_TRUNC;
    }
    // A file only read is opened without waiting: opening a FIFO for reading would block until
    // a writer came, and no reader here reads anything but a regular file.
    const bool readOnly = (flags & 3) == modeRead && !(flags & modeCreate);
    int fd = ::open(path.c_str(), oflags | (readOnly ? O_NONBLOCK : 0), 0666);
    if (fd < 0) {
        if (error) *error = CFileException::FromErrno(errno, path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (S_ISDIR(st.st_mode) || (readOnly && !S_ISREG(st.st_mode)))) {
        ::close(fd);
        if (error)
            *error = S_ISDIR(st.st_mode) ? CFileException::FromErrno(EISDIR, path)
                                         : CFileException(CFileException::notRegular, 0, path);
        return false;
    }
    if (readOnly) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Exclusive sharing is advisory here: another writer that asks for the same gets refused.
    unsigned share = flags & 0x70;
    if (share == shareExclusive || share == shareDenyWrite) {
        if (::flock(fd, (share == shareExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            if (error) *error = CFileException::FromErrno(err == EWOULDBLOCK ? EACCES : err, path);
            return false;
        }
    }
    m_fd = fd;
    m_path = path;
    return true;
}

void CFile::Throw(int err) const { throw CFileException::FromErrno(err, m_path); }

unsigned CFile::Read(void* buffer, unsigned count) {
    if (m_fd < 0) Throw(EBADF);
    auto* out = static_cast<char*>(buffer);
    unsigned total = 0;
    while (total < count) {
        ssize_t n = ::read(m_fd, out + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            Throw(errno);
        }
        if (n == 0) break;
        total += static_cast<unsigned>(n);
    }
    return total;
}

void CFile::Write(const void* buffer, unsigned count) {
    if (m_fd < 0) Throw(EBADF);
    auto* in = static_cast<const char*>(buffer);
    unsigned total = 0;
    while (total < count) {
        ssize_t n = ::write(m_fd, in + total, count - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            Throw(errno);
        }
        total += static_cast<unsigned>(n);
    }
    if (m_writeBehind) m_behind.Written(m_fd, count);
}

uint64_t CFile::Seek(int64_t offset, unsigned from) {
    if (m_fd < 0) Throw(EBADF);
    int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    off_t pos = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (pos < 0) Throw(errno);
    return static_cast<uint64_t>(pos);
}

uint64_t CFile::GetLength() const {
    if (m_fd < 0) Throw(EBADF);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) Throw(errno);
    return static_cast<uint64_t>(st.st_size);
}

void CFile::SetLength(uint64_t length) {
    if (m_fd < 0) Throw(EBADF);
    if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) Throw(errno);
}

uint64_t CFile::GetPosition() const {
    if (m_fd < 0) Throw(EBADF);
    off_t pos = ::lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0) Throw(errno);
    return static_cast<uint64_t>(pos);
}

void CFile::Flush() {
    if (m_fd < 0) return;
    if (const int err = m_behind.Finish()) Throw(err);
    if (::fsync(m_fd) != 0 && errno != EINVAL) Throw(errno);
}

void CFile::Close() {
    if (m_fd < 0) return;
    const int behind = m_behind.Finish();
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) Throw(errno);
    if (behind != 0) Throw(behind);
}

void CFile::Abort() {
    m_behind.Finish();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}
