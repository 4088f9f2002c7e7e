#pragma once
// The folder a restore writes into, and the folders below it. The output folder is opened
// once by its path (a link the user named is followed); every folder below it is reached
// name by name from there with O_NOFOLLOW, so that no restore can be led out of it through a
// symbolic link already present at the destination.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/UniqueFd.h"

// Folders made by a restore are the owner's alone: the content was secret.
constexpr mode_t kRestoredFolderMode = 0700;
constexpr mode_t kRestoredFileMode = 0600;

// Lets this process hold as many descriptors open as its hard limit allows: a restore that keeps
// one folder open per folder of a package needs more than the usual soft limit.
void AllowManyOpenFolders();

class OutputFolder {
public:
    enum Result { kOk, kNotAFolder, kFailed };

    // Opens the output folder by its path. False with *error (errno) filled.
    bool Open(const std::string& path, int* error);
    int Fd() const { return m_fd.Get(); }
    const std::string& Path() const { return m_path; }

    // Opens the folder `relative` below the output folder (native separators; "" is the
    // output folder itself), making each missing folder with kRestoredFolderMode. kNotAFolder
    // when a name on the way is a symbolic link or anything but a folder (*error ELOOP or
    // ENOTDIR) or is ".." (*error untouched); kFailed with *error (errno) when the system refuses. `made`, when given,
    // receives the folders this call made, each as its path below the output folder ("a/b", parents first).
    Result OpenBelow(const std::string& relative, UniqueFd& folder, int* error,
                     std::vector<std::string>* made = nullptr) const;
    // Removes the folder `relative` below the output folder when it is empty, reaching it as
    // OpenBelow does (never through a link); false when it is not there, not empty, or not a
    // folder.
    bool RemoveBelowIfEmpty(const std::string& relative) const;

private:
    UniqueFd m_fd;
    std::string m_path;
};
