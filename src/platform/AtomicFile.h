#pragma once
// A file written under a temporary name beside its final place and moved there only when it
// is complete: a failed or abandoned write never destroys the file it was to replace and
// leaves nothing behind. The temporary file is named after what it becomes
// (".NAME.varnex-XXXXXX"), so a leftover after a hard kill can be recognised, and it is
// registered for removal should SIGINT, SIGTERM or SIGHUP end the process.
//
// Without SetReplace(true) the final move never replaces anything: a file that appeared at
// the final place meanwhile makes Commit fail with "File exists". With it, the replacement
// is atomic and the new file keeps the replaced file's permission bits.

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CFile.h"

class CAtomicFile {
public:
    // The permission bits of a new file when the caller names none (the umask applies).
    static constexpr mode_t kDefaultMode = 0666;

    CAtomicFile() = default;
    // Discards the temporary file unless it was committed.
    ~CAtomicFile() { Discard(); }
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file beside finalPath, open for reading and writing; false with
    // *error filled. The folder of finalPath is opened by its path.
    bool Create(const std::string& finalPath, CFileException* error, mode_t mode = kDefaultMode);
    // The same inside an open folder (not owned; it must stay open until Commit or Discard):
    // `name` is a single name and nothing is reached through a link. finalPath is for
    // messages.
    bool CreateIn(int folderFd, const std::string& name, const std::string& finalPath, CFileException* error,
                  mode_t mode = kDefaultMode);
    // Goes on through another descriptor of the same folder (not owned; it must stay open until
    // Commit or Discard): a file made through one descriptor is finished through another, and
    // the first may close.
    void UseFolder(int folderFd);
    // Whether the final move may replace an existing file (false until set). A replacing
    // file is flushed before its move, so its bytes go to the disk while it is written.
    void SetReplace(bool replace) {
        m_replace = replace;
        m_file.SetWriteBehind(replace);
    }
    // Whether a replacing file takes the replaced file's permission bits (true until set);
    // false keeps the mode given to Create.
    void SetKeepReplacedMode(bool keep) { m_keepReplacedMode = keep; }
    // Called by Commit with the file's descriptor once its content and permission bits are
    // final, just before it is moved into place: what it sets (times, attributes) belongs to
    // the file that lands there, never to whatever the final name leads to by then.
    void SetFinish(std::function<void(int fd)> finish) { m_finish = std::move(finish); }
    CFile* File() { return &m_file; }
    const std::string& TempName() const { return m_tempName; }
    // Closes the file (checked) and makes it durable when it replaces an existing file, leaving
    // it under its temporary name until Commit or Discard. False with *error filled; the
    // temporary file is then gone.
    bool Close(CFileException* error);
    // Closes the file as Close does (unless it was closed already) and moves it into place.
    // False with *error filled; the temporary file is then gone.
    bool Commit(CFileException* error);
    void Discard();

private:
    bool CreateInFolder(CFileException* error, mode_t mode);
    bool Fail(int err, CFileException* error);

    int m_folder = -1;       // the folder both names are in
    int m_ownedFolder = -1;  // the folder when this object opened it
    std::string m_name;      // final name in the folder
    std::string m_final;     // final path, for messages
    std::string m_tempName;  // temporary name in the folder; empty when none exists
    int m_slot = -1;         // signal-cleanup registration
    bool m_replace = false;
    bool m_closed = false;
    std::function<void(int fd)> m_finish;
    bool m_keepReplacedMode = true;
    CFile m_file;
};

// Writes content to path as a file readable by its owner only (0600, whatever a replaced file
// allowed), synced to disk, replacing what is there in one step. False on any failure; the
// file at path is then as it was and no temporary file is left.
bool WriteOwnerOnlyFile(const std::string& path, std::string_view content);

// The temporary name for a file called `name`: ".NAME.varnex-XXXXXX", NAME shortened (at a
// character boundary) so that the whole fits one file name.
std::string TempNameFor(const std::string& name);
// True for a name TempNameFor makes: a file another run is writing (or left by a hard kill).
// Walkers pass such files over: they are never the user's data.
bool IsTempName(const std::string& name);
// The temporary files a hard kill left for path: beside it, named as TempNameFor(its name) makes
// them (a file that was to become it, or the file itself moved aside by an interrupted wipe).
// Their paths, as path names its folder; none when the folder cannot be read.
std::vector<std::string> TempFilesFor(const std::string& path);
// Moves `from` to `to` in one folder without ever replacing an existing `to`; false with
// errno set (EEXIST when `to` exists).
bool RenameNoReplace(int folderFd, const std::string& from, const std::string& to);
// Moves `name` in that folder to a new temporary name of its own (TempNameFor's form), found by
// the same no-replace move; *aside receives it. False with errno set.
bool MoveAside(int folderFd, const std::string& name, std::string* aside);
