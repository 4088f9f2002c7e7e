#pragma once
// A file opened by path, with the open and share modes the engine uses. Errors are thrown as
// CFileException carrying the system's error text. The engine's checked I/O turns them into
// its messages; a few places catch them where the failure is theirs to decide (a quiet probe
// of a file, a length or position query answered in the walk's own words, the block pipe's
// I/O thread handing its error back); whatever else escapes is shown and turned into the
// failure result by the guard of the exported entry it passes (engine/EngineContext.h).
// Offsets are 64-bit inside; the handle is closed by Close() or the destructor.

#include <cstdint>
#include <string>

#include "platform/FlushBehind.h"

class CFileException {
public:
    // notRegular: a FIFO, socket or device opened to be read (only regular files are read).
    enum Cause {
        none = 0,
        generic,
        fileNotFound,
        badPath,
        accessDenied,
        badSeek,
        hardIO,
        diskFull,
        endOfFile,
        notRegular
    };

    CFileException() = default;
    CFileException(Cause cause, int osError, std::string path)
        : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(path)) {}

    // Copies the system's text for this error into `out` (at most max - 1 characters, always
    // terminated) and returns 1, or 0 when there is no text.
    int GetErrorMessage(char* out, unsigned max) const;
    std::string ErrorText() const;

    static CFileException FromErrno(int err, const std::string& path);

    Cause m_cause = none;
    int m_lOsError = 0;
    std::string m_strFileName;
};

class CFile {
public:
    // Open flags, combined with |; the values are the framework's.
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : unsigned { begin = 0, current = 1, end = 2 };

    CFile() = default;
    // Opens or throws CFileException.
    CFile(const std::string& path, unsigned flags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns false and fills *error (when given) instead of throwing. Opened only for reading,
    // a path must name a regular file: anything else is refused at once, never waited on.
    virtual bool Open(const std::string& path, unsigned flags, CFileException* error = nullptr);
    // Takes an open descriptor as this file (closed with it from now on); `path` names it.
    void Attach(int fd, const std::string& path) {
        Abort();
        m_fd = fd;
        m_path = path;
    }
    virtual unsigned Read(void* buffer, unsigned count);
    virtual void Write(const void* buffer, unsigned count);
    virtual uint64_t Seek(int64_t offset, unsigned from);
    uint64_t SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    virtual uint64_t GetLength() const;
    virtual void SetLength(uint64_t length);
    virtual uint64_t GetPosition() const;
    virtual void Flush();
    // For a file that will be flushed when it is complete: what is written is flushed on a
    // thread of its own while writing goes on (platform/FlushBehind.h), so the final flush
    // waits only for the last of it. Kept across Attach.
    void SetWriteBehind(bool on) { m_writeBehind = on; }
    virtual void Close();
    // Closes without throwing; for clean-up paths after a failure.
    virtual void Abort();
    virtual bool IsOpen() const { return m_fd >= 0; }
    const std::string& GetFilePath() const { return m_path; }
    int Fd() const { return m_fd; }

protected:
    [[noreturn]] void Throw(int err) const;

    int m_fd = -1;
    std::string m_path;

private:
    bool m_writeBehind = false;
    FlushBehind m_behind;  // its error goes to the next Flush or Close
};
