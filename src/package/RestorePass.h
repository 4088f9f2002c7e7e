#pragma once
// Restoring the record list of a password or envelope package once its content key is known:
// every folder and file below an output folder, with times and attributes, asking before an
// existing file is replaced. Shared steps around it: choosing and preparing the output folder,
// the logon library's output-folder query, and offering a lone restored file to its open query.

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "package/ContentStream.h"
#include "package/FileMaker.h"
#include "platform/AtomicFile.h"
#include "platform/CFile.h"
#include "platform/FileIdentity.h"
#include "platform/OutputFolder.h"

class CKorvane;
class ILogon;
class ProgressReport;

// The folder the file records being restored go into, reached without following links from
// the output folder: an open descriptor (shared with the files held in it), or the system's
// error when it could not be opened or made (each file record then fails with that error's
// text).
struct RestoreFolder {
    std::shared_ptr<UniqueFd> owner;
    int fd = -1;
    int error = 0;
    FileIdentity identity;  // of the open folder
};

struct RestorePlan {
    const ContentKey* key = nullptr;
    int itemCount = 0;       // the 100 % mark of progress
    bool oldLayout = false;  // version "10": one time per file record
    // kVerify feeds every file's plaintext, kept files included, to the verification digest.
    ContentStream::Digest digest = ContentStream::Digest::kNone;
    // Reads and checks everything as a restore does, writing nothing and asking nothing.
    bool testOnly = false;
    // Signed packages: every restored file stays under its temporary name until the caller
    // has the signature's verdict and commits (or discards) them all. The questions are still
    // asked as each file is met.
    bool holdUntilVerdict = false;
};

class RestorePass {
public:
    // The base folder and working path are the engine's (kMaxPath characters each).
    RestorePass(CKorvane& engine, char* baseFolder, char* workPath, const RestorePlan& plan);

    // Reads the whole record list once before anything is written, so that a damaged or unsafe
    // list is refused with nothing made; every record CRC, the end record's included, is
    // checked. Sets the longest path a record names below the output folder, and notes the
    // names a restore will make. Leaves the package where it found it.
    int Scan(CFile* package, size_t* longestPath);

    // Restores the record list from the package's position into `base` (the output folder,
    // with a separator; it becomes the base folder). Folders below it are reached name by name
    // without following links; files are made owner-only, an existing one replaced atomically.
    // After a Scan of a package with many files, their temporary files are made ahead on a
    // second thread (FileMaker); what the restore does and shows stays the same.
    // At the end record: 1, *endSecond its second field, the package behind it; -1 when the user
    // cancelled at the replace question; 0 after a failure's message. lastOutput:
    // the path of the last file met.
    int Run(CFile* package, const std::string& base, ProgressReport& progress, std::string& lastOutput,
            int32_t* endSecond);

    // The files held for the verdict (holdUntilVerdict), moved to their names in the order
    // they were met and added to the decrypted-files list: 1, or 0 when one could not take its
    // name and the user chose not to go on (the rest are removed). A held file is never moved
    // before this call; DiscardHeld (or the pass's end) removes them all.
    int CommitHeld();
    void DiscardHeld();
    size_t HeldCount() const { return m_heldNames.size(); }

    // Whether the package ends where its records say, once Run has met the end record: nothing
    // lies behind the last content (and the record list) but the end of the file or, in a
    // signed package, the trailer at `trailerOffset`, which the caller has read to its end.
    // Both a check and a restore ask it; bytes beyond are damage.
    bool EndsWhereRecordsSay(CFile* package, int32_t trailerOffset) const;

    // Why the package must outlive this restore, as the message that keeps it tells: the
    // distinct paths its records name that do not now stand restored from it (kept at the
    // replace question, not created), or a content that failed its CRC. Empty when every
    // folder and file of the package stands restored from it.
    std::string Shortfall() const;
    // Whether the shortfall holds more than files kept at the user's word: a folder or file not
    // created, or a damaged content. Such a restore has not brought the package back.
    bool Incomplete() const;

private:
    // A restored file under its temporary name, with the folder it lies in kept open.
    struct HeldFile {
        std::shared_ptr<UniqueFd> folder;
        std::unique_ptr<CAtomicFile> file;
        std::string output;
    };

    int Check(CFile* package, ProgressReport& progress, std::string& lastOutput, int32_t* endSecond);
    int RestoreFile(CFile* package, const struct PackageRecord& record, const RestoreFolder& folder,
                    ProgressReport& progress, std::string& output);
    void ListRestored(const std::string& output);
    // Whether `name` in `folderFd` is the package being read (the same file, not a link to it).
    bool IsThePackage(int folderFd, const std::string& name) const;

    // Why a path the records name does not stand restored from the package.
    enum class Missing { kKept, kNotCreated };

    CKorvane& m_engine;
    char* m_baseFolder;
    char* m_workPath;
    const RestorePlan& m_plan;
    ContentStream m_stream;
    int m_decision = 0;  // the replace question's lasting answer (replace all, keep all)
    int m_done = 0;
    std::vector<HeldFile> m_held;
    std::map<std::string, size_t> m_heldNames;  // output path -> its entry in m_held
    // What the restore brought back: the distinct folders and files the records name, those
    // that now stand restored from the package, and why each other one does not.
    std::set<std::string> m_named;
    std::set<std::string> m_restored;
    std::map<std::string, Missing> m_missing;
    bool m_damagedContent = false;
    uint64_t m_contentEnd = 0;  // behind the last content and the record list
    FileIdentity m_package;
    bool m_packageKnown = false;
    // What Scan found for the maker, and the maker while Run runs.
    FileMaker::Upcoming m_upcoming;
    std::unique_ptr<FileMaker> m_maker;
    size_t m_fileIndex = 0;  // file records Run has met
};

// Chooses the folder a package is restored into and makes sure it exists (base: with a
// trailing separator). Without direct or silent flag and without a preset output folder the
// folder dialog asks, proposing the package's folder; otherwise the preset output folder when
// it exists, else `fallback`.
int PrepareOutputFolder(CKorvane& engine, const std::string& packageFolder, const std::string& fallback, int direct,
                        int silent, std::string& base);

// The logon library's output-folder query: when it answers non-zero for the folder, its begin
// call is made now and its end call when this goes out of scope.
class OutputQuery {
public:
    OutputQuery(ILogon* logon, const std::string& folder);
    ~OutputQuery();
    OutputQuery(const OutputQuery&) = delete;
    OutputQuery& operator=(const OutputQuery&) = delete;

private:
    ILogon* m_logon;
};

// After a successful direct restore of a lone file (not itself an envelope package): offers
// it to the logon library's open query, and shows the decrypted-files list when nobody took it.
void OfferLoneResult(CKorvane& engine, ILogon* logon, const std::string& lastOutput);
