#include "StandardStreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Cli.h"
#include "CliMessages.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/SignalCleanup.h"
#include "platform/TempFolder.h"
#include "platform/UniqueFd.h"

namespace {

// Writes all of `data`; false with errno set.
bool WriteAll(int fd, const char* data, size_t size) {
    for (size_t put = 0; put < size;) {
        ssize_t n = ::write(fd, data + put, size - put);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        put += static_cast<size_t>(n);
    }
    return true;
}

// Says `text` as the one message of the failure; false.
bool Refused(const std::string& text) {
    CliFail(text);
    return false;
}

}  // namespace

int CopyToStdout(const std::string& package) {
    UniqueFd in(::open(package.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    ::unlink(package.c_str());
    if (in.Get() < 0) return CliFail(package + ": " + std::strerror(errno));
    std::vector<char> block(kStreamBlockSize);
    for (;;) {
        ssize_t got = ::read(in.Get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return CliFail(package + ": " + std::strerror(errno));
        if (got == 0) return kExitOk;
        if (!WriteAll(STDOUT_FILENO, block.data(), static_cast<size_t>(got)))
            return CliFail(MessageText(msg::cli::StandardOutputFailed, std::strerror(errno)));
    }
}

bool StdoutPackageName(std::string& name) {
    std::string tmp;
    if (!UserTempFolder(tmp)) return Refused(MessageText(msg::cli::NoTempFolder, std::strerror(errno)));
    name = tmp + ".stdout-" + std::to_string(::getpid()) + ".pkg";
    return true;
}

StdinPackage::~StdinPackage() {
    if (m_folder < 0) return;
    if (!m_name.empty()) ::unlinkat(m_folder, m_name.c_str(), 0);
    if (m_slot >= 0) ForgetTempFile(m_slot);
    ::close(m_folder);
}

bool StdinPackage::Take() {
    if (isatty(STDIN_FILENO)) return Refused(MessageText(msg::cli::StdinIsTerminal));
    std::string tmp;
    if (!UserTempFolder(tmp)) return Refused(MessageText(msg::cli::NoTempFolder, std::strerror(errno)));
    m_folder = ::open(tmp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) return Refused(MessageText(msg::cli::NoTempFolder, std::strerror(errno)));
    const std::string name = ".stdin-" + std::to_string(::getpid()) + ".pkg";
    UniqueFd out(::openat(m_folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (out.Get() < 0) return Refused(MessageText(msg::cli::NoTempFolder, std::strerror(errno)));
    m_name = name;
    m_path = tmp + name;
    m_slot = RegisterTempFile(m_folder, m_name.c_str());
    std::vector<char> block(kStreamBlockSize);
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Refused(MessageText(msg::cli::StandardInputFailed, std::strerror(errno)));
        if (got == 0) break;
        if (!WriteAll(out.Get(), block.data(), static_cast<size_t>(got)))
            return Refused(MessageText(msg::cli::StandardInputFailed, std::strerror(errno)));
    }
    return true;
}
