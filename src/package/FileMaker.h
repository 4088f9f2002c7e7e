#pragma once
// The temporary files of the file records a restore is about to meet, made ahead of it on a
// thread of its own. On a file system that probes its recently freed inodes on every create, a
// create costs far more than writing a small file's bytes; made beside the decryption, and in
// a later folder than the one the restore writes in (creates in one folder take turns on its
// lock), it costs the restore next to nothing.
//
// The files are made as the restore makes them itself (CAtomicFile: ".NAME.varnex-XXXXXX",
// owner-only, O_EXCL, never through a link, registered for removal on a signal), in folders
// reached and made as OutputFolder::OpenBelow reaches and makes them. The maker decides
// nothing and shows nothing: a name that exists, a folder it cannot reach and a file it cannot
// make are left to the restore, which meets them as it always has. A made file the restore does
// not take is removed; a folder the maker made and the restore never entered is removed again
// when empty.
//
// Bounded: at most kLookAhead files are made and not yet taken, fewer when the process may
// open few descriptors (each holds one).

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/FileIdentity.h"
#include "platform/OutputFolder.h"
#include "platform/UniqueFd.h"

class FileMaker {
public:
    // The record list as the restore will meet it: the folders of its directory records (the
    // output folder first, for files before any of them) and each file record's folder and name.
    struct Upcoming {
        struct File {
            size_t folder = 0;
            std::string name;
        };
        std::vector<std::string> folders{""};
        std::vector<File> files;
    };
    // A file made ahead, open, under its temporary name in `folder` (kept open for it).
    struct Made {
        std::shared_ptr<UniqueFd> folder;
        FileIdentity folderIdentity;
        std::string name;
        std::string output;  // its final path, as the restore names it
        std::unique_ptr<CAtomicFile> file;
    };

    // Enough to stay a folder or two ahead of the restore in a tree of some hundred files a
    // folder: the restore then seldom makes a file itself, unless the maker falls behind.
    static constexpr size_t kLookAhead = 256;
    // Below this many file records a thread does not pay for itself.
    static constexpr size_t kMinFiles = 16;

    // `output` is the open output folder (it must outlive this object), `base` its path with a
    // separator. Makes nothing when the thread cannot start.
    FileMaker(const OutputFolder& output, const std::string& base, Upcoming upcoming);
    // Stops the thread, removes the files made and not taken, and then the folders made that the
    // restore never entered, as far as they are empty.
    ~FileMaker();
    FileMaker(const FileMaker&) = delete;
    FileMaker& operator=(const FileMaker&) = delete;

    // The restore goes into the folder of a directory record (`relative` as the record names
    // it), whether or not it can be entered.
    void Entered(const std::string& relative);
    // The restore has met file record `index` (counted among the file records): the file made
    // for it when one is ready, else null. Nothing is made for it or an earlier record after
    // this; files made for earlier records and not taken are removed.
    std::unique_ptr<Made> Take(size_t index);

private:
    void Run();
    // The next file record to make, or files.size(): after the restore's and in a later folder
    // than its folder, skipping folders that could not be reached. Under m_mutex.
    size_t Next() const;
    std::unique_ptr<Made> Make(const Upcoming::File& file);

    const OutputFolder& m_output;
    const std::string m_base;
    const Upcoming m_upcoming;
    size_t m_lookAhead = kLookAhead;
    // The maker's own: the folder it makes files in, and the folders it made or could not reach.
    std::shared_ptr<UniqueFd> m_folder;
    FileIdentity m_folderIdentity;
    size_t m_folderIndex = static_cast<size_t>(-1);
    std::vector<bool> m_unreachable;
    std::vector<std::string> m_made;
    // The restore's own: the folders it went into (normalised as OpenBelow records them).
    std::set<std::string> m_entered;
    // Shared under m_mutex.
    size_t m_at = 0;      // the file record the restore is at
    size_t m_cursor = 1;  // the next record the maker may consider
    std::map<size_t, std::unique_ptr<Made>> m_ready;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};
