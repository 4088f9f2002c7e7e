#pragma once
// The folder a restore writes into, and the folders below it. The output folder is opened
// once by its path (a link the user named is followed); every folder below it is reached
// name by name from there with O_NOFOLLOW, so that no restore can be led out of it through a
// symbolic link already present at the destination.

#include <sys/types.h>

#include <string>

// A file descriptor, closed when released.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

// Folders made by a restore are the owner's alone: the content was secret.
constexpr mode_t kRestoredFolderMode = 0700;
constexpr mode_t kRestoredFileMode = 0600;

class OutputFolder {
public:
    enum Result { kOk, kNotAFolder, kFailed };

    // Opens the output folder by its path. False with *error (errno) filled.
    bool Open(const std::string& path, int* error);
    int Fd() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }

    // Opens the folder `relative` below the output folder (native separators; "" is the
    // output folder itself), making each missing folder with kRestoredFolderMode. kNotAFolder
    // when a name on the way is a symbolic link or anything but a folder; kFailed with *error
    // (errno) when the system refuses.
    Result OpenBelow(const std::string& relative, UniqueFd& folder, int* error) const;

private:
    UniqueFd m_fd;
    std::string m_path;
};

// What `name` in the open folder `folderFd` is, without following a link: 0 when nothing is
// there, else the st_mode of the entry.
mode_t EntryTypeIn(int folderFd, const std::string& name);
