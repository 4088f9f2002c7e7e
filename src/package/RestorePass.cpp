#include "package/RestorePass.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "dialogs/DecryptToDialog.h"
#include "dialogs/FileListDialog.h"
#include "dialogs/ReplaceDialog.h"
#include "engine/Korvane.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "logon/ILogon.h"
#include "package/Messages.h"
#include "package/ProgressReport.h"
#include "platform/AtomicFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/OutputFolder.h"
#include "platform/Overwrite.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"

namespace {

bool ContinueAfterCreateFailure(const std::string& output, const std::string& reason) {
    return ShowMessage(msg::package::CreateFailedContinue, output, reason) == IDYES;
}

bool ContinueAfterCreateFailure(const std::string& output, const CFileException& error) {
    return ContinueAfterCreateFailure(output, error.ErrorText());
}

// Opens (making it when missing) the folder of a directory record below the output folder.
// False when a link or a file stands where the folder is to be: nothing is written through it.
bool EnterOutputFolder(const OutputFolder& output, const std::string& relative, RestoreFolder& folder) {
    folder.error = 0;
    auto fd = std::make_shared<UniqueFd>();
    OutputFolder::Result result = output.OpenBelow(relative, *fd, &folder.error);
    if (result == OutputFolder::kOk && !IdentityOf(fd->Get(), &folder.identity)) folder.identity = {};
    if (result != OutputFolder::kOk) fd->Reset();
    folder.owner = fd;
    folder.fd = fd->Get();
    return result != OutputFolder::kNotAFolder;
}

// A folder of the package that cannot be entered: a link or a file in its place at the
// destination (never written through) is named; a name that leaves the output folder is the
// package's fault.
int NotAFolder(const RestoreFolder& folder, const std::string& path) {
    if (folder.error != 0)
        ShowMessage(msg::package::FolderInTheWay, path);
    else
        ShowMessage(msg::formats::StructureError);
    return 0;
}

}  // namespace

RestorePass::RestorePass(CKorvane& engine, char* baseFolder, char* workPath, const RestorePlan& plan)
    : m_engine(engine), m_baseFolder(baseFolder), m_workPath(workPath), m_plan(plan), m_stream(engine, plan.digest) {
    // Files held for a verdict keep their folders open, one descriptor per folder of the package.
    if (plan.holdUntilVerdict && !plan.testOnly) AllowManyOpenFolders();
}

void RestorePass::ListRestored(const std::string& output) {
    // A path the package names twice is one restored file.
    if (!m_restored.insert(output).second) return;
    std::string entry = output + "|";
    m_engine.m_decryptedFiles.SeekToEnd();
    m_engine.m_decryptedFiles.Write(entry.data(), static_cast<unsigned>(entry.size()));
}

int RestorePass::CommitHeld() {
    int result = 1;
    for (HeldFile& held : m_held) {
        if (!held.file) continue;
        CFileException error;
        if (result == 1) {
            if (held.file->Commit(&error)) {
                ListRestored(held.output);
                continue;
            }
            if (!ContinueAfterCreateFailure(held.output, error)) result = 0;
            m_missing[held.output] = Missing::kNotCreated;
        }
        held.file->Discard();
    }
    DiscardHeld();
    return result;
}

void RestorePass::DiscardHeld() {
    m_heldNames.clear();
    m_held.clear();
}

bool RestorePass::IsThePackage(int folderFd, const std::string& name) const {
    PathInfo info;
    return m_packageKnown && LookUpAt(folderFd, name.c_str(), &info) && SameFile(info.identity, m_package);
}

bool RestorePass::EndsWhereRecordsSay(CFile* package, int32_t trailerOffset) const {
    if (m_plan.digest == ContentStream::Digest::kVerify)
        return trailerOffset >= 0 && static_cast<uint64_t>(trailerOffset) == m_contentEnd &&
               package->GetPosition() == package->GetLength();
    return package->GetLength() == m_contentEnd;
}

std::string RestorePass::Shortfall() const {
    size_t kept = 0, notCreated = 0;
    for (const std::string& path : m_named) {
        if (m_restored.count(path)) continue;
        auto why = m_missing.find(path);
        ++(why != m_missing.end() && why->second == Missing::kKept ? kept : notCreated);
    }
    std::string reasons;
    auto add = [&reasons](const std::string& reason) { reasons += (reasons.empty() ? "" : "; ") + reason; };
    if (kept) add(MessageText(msg::package::KeptExisting, kept));
    if (notCreated) add(MessageText(msg::package::NotCreated, notCreated));
    if (m_damagedContent) add(MessageText(msg::package::DamagedContent));
    return reasons;
}

bool RestorePass::Incomplete() const {
    if (m_damagedContent) return true;
    for (const std::string& path : m_named) {
        if (m_restored.count(path)) continue;
        auto why = m_missing.find(path);
        if (why == m_missing.end() || why->second != Missing::kKept) return true;
    }
    return false;
}

int RestorePass::Scan(CFile* package, size_t* longestPath) {
    const uint64_t start = package->GetPosition();
    PackageRecordReader reader(m_engine.Records(), package, m_plan.oldLayout);
    PackageRecord record;
    size_t folder = 0;
    *longestPath = 0;
    for (;;) {
        if (!reader.Next(record)) return 0;
        if (record.type == kRecordEnd) break;
        if (record.type == kRecordDirectory) folder = record.name.size();
        if (!m_plan.testOnly && record.type == kRecordDirectory) m_upcoming.folders.push_back(record.name);
        if (!m_plan.testOnly && record.type == kRecordFile)
            m_upcoming.files.push_back({m_upcoming.folders.size() - 1, record.name});
        *longestPath = std::max(*longestPath, (record.type == kRecordFile ? folder : 0) + record.name.size());
    }
    return m_engine.fSeek(package, static_cast<long>(start), CFile::begin);
}

// Restores one file record: asks before replacing, decrypts the content, checks its CRC and
// gives the file its times and attributes. A kept file is still read through for its CRC and
// the verification digest. The file is made in `folder` by name, owner-only when new; an
// existing file (or link) is replaced atomically, and a file that appears meanwhile is never
// replaced unasked.
int RestorePass::RestoreFile(CFile* package, const PackageRecord& record, const RestoreFolder& folder,
                             ProgressReport& progress, std::string& output) {
    output = std::string(m_workPath) + record.name;
    // The file made ahead for this record, if any: taken now, so that the maker never makes it
    // while the restore decides; removed below unless the restore writes it.
    std::unique_ptr<FileMaker::Made> made = m_maker ? m_maker->Take(m_fileIndex++) : nullptr;
    progress.Report(m_done, m_plan.itemCount, output);
    m_contentEnd = std::max(
        m_contentEnd, static_cast<uint64_t>(record.ContentOffset()) + static_cast<uint64_t>(record.contentLength));

    bool write = !m_plan.testOnly;
    if (write) m_named.insert(output);
    const PathKind existing = write && folder.fd >= 0 ? KindAt(folder.fd, record.name.c_str()) : PathKind::Missing;
    // A file of this package held under its temporary name counts as existing: the package
    // names the path twice.
    const auto held = write ? m_heldNames.find(output) : m_heldNames.end();
    if (existing != PathKind::Missing && IsThePackage(folder.fd, record.name)) {
        // The package is never replaced by what is read from it: kept as every existing file
        // when the answer was to keep them all, else a file that cannot be created.
        write = false;
        if (m_decision == kReplaceNone) {
            m_missing[output] = Missing::kKept;
        } else {
            if (!ContinueAfterCreateFailure(output, MessageText(msg::package::OverThePackage))) return 0;
            m_missing[output] = Missing::kNotCreated;
        }
    } else if (existing != PathKind::Missing || held != m_heldNames.end()) {
        if (m_decision == kReplaceNone) {
            write = false;
        } else if (m_decision != kReplaceAll) {
            m_decision = MsgReplace(output.c_str(), record.modified, record.size);
            if (m_decision == kReplaceCancel) return -1;  // the user stopped the restore
            write = m_decision != kReplaceKeep && m_decision != kReplaceNone;
        }
        // A link is replaced by the restored file; what it points to is left alone. A file
        // held for the verdict is never touched before it: the final move replaces it whatever
        // its mode.
        if (write && existing == PathKind::File && !m_plan.holdUntilVerdict)
            m_engine.SetFileArchiveStatus(output.c_str(), 0x20);
        if (!write) m_missing[output] = Missing::kKept;
    }
    if (write && held != m_heldNames.end()) {
        m_held[held->second].file.reset();  // this one replaces it
        m_heldNames.erase(held);
    }

    // A file made ahead is the one the restore would make here when it lies in the same folder
    // under the same name; it goes on through the restore's own descriptor of the folder.
    std::unique_ptr<CAtomicFile> file;
    if (write && made && folder.fd >= 0 && made->name == record.name && made->output == output &&
        SameFile(made->folderIdentity, folder.identity)) {
        file = std::move(made->file);
        file->UseFolder(folder.fd);
    }
    made.reset();
    CFileException error = CFileException::FromErrno(folder.error, output);
    if (!file) {
        file = std::make_unique<CAtomicFile>();
        if (write && (folder.fd < 0 || !file->CreateIn(folder.fd, record.name, output, &error, kRestoredFileMode))) {
            if (!ContinueAfterCreateFailure(output, error)) return 0;
            write = false;
            m_missing[output] = Missing::kNotCreated;
        }
    }
    file->SetReplace(existing != PathKind::Missing);
    ContentPlace place;
    place.offset = record.ContentOffset();
    place.length = record.contentLength;
    uint16_t crc = 0;
    if (!m_stream.Decrypt(*m_plan.key, package, place, write ? file->File() : nullptr, &crc)) return 0;

    // A check fails on the first damaged content; a restore asks whether to go on.
    if (crc != record.contentCrc && m_plan.testOnly) {
        ShowMessage(msg::formats::RecordCrc3);
        return 0;
    }
    // A damaged content replaces nothing unless the user wants it anyway.
    if (crc != record.contentCrc && ShowMessage(msg::package::ContentCrcContinue) != IDYES) return 0;
    m_damagedContent = m_damagedContent || crc != record.contentCrc;
    if (write) {
        // Times and attributes go to the restored file itself, before its name is given.
        file->SetFinish([&record](int fd) { ApplyFileStatus(fd, record.modified, record.attributes); });
        if (m_plan.holdUntilVerdict) {
            if (!file->Close(&error)) {
                if (!ContinueAfterCreateFailure(output, error)) return 0;
                m_missing[output] = Missing::kNotCreated;
            } else {
                m_heldNames[output] = m_held.size();
                m_held.push_back({folder.owner, std::move(file), output});
            }
        } else if (!file->Commit(&error)) {
            if (!ContinueAfterCreateFailure(output, error)) return 0;
            m_missing[output] = Missing::kNotCreated;
        } else {
            ListRestored(output);
        }
    }
    ++m_done;
    progress.Report(m_done, m_plan.itemCount, output);
    return 1;
}

int RestorePass::Run(CFile* package, const std::string& base, ProgressReport& progress, std::string& lastOutput,
                     int32_t* endSecond) {
    // However the pass ends, the verification digest is complete and the caller's to finish.
    struct DigestFinished {
        ContentStream& stream;
        ~DigestFinished() { stream.FinishDigest(); }
    } digestFinished{m_stream};
    std::snprintf(m_baseFolder, kMaxPath, "%s", base.c_str());
    std::snprintf(m_workPath, kMaxPath, "%s", base.c_str());
    PathInfo self;
    m_packageKnown = LookUpOpen(package->Fd(), &self);
    m_package = self.identity;
    if (m_plan.testOnly) return Check(package, progress, lastOutput, endSecond);
    OutputFolder output;
    RestoreFolder folder;
    if (!output.Open(base, &folder.error)) {
        ShowMessage(msg::package::CreateFolderFailed, base);
        return 0;
    }
    if (!EnterOutputFolder(output, "", folder)) return NotAFolder(folder, base);
    // The maker stops, and what it made and nobody took is gone, before the output folder closes.
    struct MakerStopped {
        std::unique_ptr<FileMaker>& maker;
        ~MakerStopped() { maker.reset(); }
    } makerStopped{m_maker};
    m_fileIndex = 0;
    if (m_upcoming.files.size() >= FileMaker::kMinFiles)
        m_maker = std::make_unique<FileMaker>(output, base, std::move(m_upcoming));
    PackageRecordReader reader(m_engine.Records(), package, m_plan.oldLayout);
    PackageRecord record;
    for (;;) {
        if (!reader.Next(record)) return 0;
        switch (record.type) {
            case kRecordEnd:
                *endSecond = record.second;
                m_contentEnd = std::max(m_contentEnd, static_cast<uint64_t>(package->GetPosition()));
                return 1;
            case kRecordDirectory:
                if (std::strlen(m_baseFolder) + record.name.size() >= kMaxPath) {
                    ShowMessage(msg::formats::StructureError);
                    return 0;
                }
                std::snprintf(m_workPath, kMaxPath, "%s%s", m_baseFolder, record.name.c_str());
                if (m_maker) m_maker->Entered(record.name);
                if (!EnterOutputFolder(output, record.name, folder)) return NotAFolder(folder, m_workPath);
                // An empty folder of the package is restored once it stands.
                m_named.insert(m_workPath);
                if (folder.fd >= 0)
                    m_restored.insert(m_workPath);
                else
                    m_missing[m_workPath] = Missing::kNotCreated;
                break;
            default:
                if (int done = RestoreFile(package, record, folder, progress, lastOutput); done != 1) return done;
        }
    }
}

// The record list read through as Run reads it, with no folder opened and nothing written.
int RestorePass::Check(CFile* package, ProgressReport& progress, std::string& lastOutput, int32_t* endSecond) {
    PackageRecordReader reader(m_engine.Records(), package, m_plan.oldLayout);
    PackageRecord record;
    const RestoreFolder none;
    for (;;) {
        if (!reader.Next(record)) return 0;
        if (record.type == kRecordEnd) break;
        if (record.type == kRecordDirectory) {
            if (std::strlen(m_baseFolder) + record.name.size() >= kMaxPath) {
                ShowMessage(msg::formats::StructureError);
                return 0;
            }
            std::snprintf(m_workPath, kMaxPath, "%s%s", m_baseFolder, record.name.c_str());
            continue;
        }
        if (int done = RestoreFile(package, record, none, progress, lastOutput); done != 1) return done;
    }
    *endSecond = record.second;
    m_contentEnd = std::max(m_contentEnd, static_cast<uint64_t>(package->GetPosition()));
    return 1;
}

int PrepareOutputFolder(CKorvane& engine, const std::string& packageFolder, const std::string& fallback, int direct,
                        int silent, std::string& base) {
    if (!direct && !silent && !IsExistingFolder(engine.m_presetOutFolder)) {
        CDlgDecryptTo dialog(packageFolder);
        if (UiHost().RunDialog(dialog) != CDlgDecryptTo::kIdDecrypt) return 0;
        base = dialog.Folder();
    } else {
        base = IsExistingFolder(engine.m_presetOutFolder) ? engine.m_presetOutFolder : fallback;
    }
    base = WithSeparator(base);
    if (!IsExistingFolder(base)) {
        if (ShowMessage(msg::package::CreateMissingFolder, base) != IDYES) return 0;
        if (!MakeFolders(base, kRestoredFolderMode)) {
            ShowMessage(msg::package::CreateFolderFailed, base);
            return 0;
        }
    }
    return base.size() < kMaxPath ? 1 : (ShowMessage(msg::formats::StructureError), 0);
}

OutputQuery::OutputQuery(ILogon* logon, const std::string& folder)
    : m_logon(logon && logon->QueryOutputFolder(folder) != 0 ? logon : nullptr) {
    if (m_logon) m_logon->BeginOutput();
}

OutputQuery::~OutputQuery() {
    if (m_logon) m_logon->EndOutput();
}

void OfferLoneResult(CKorvane& engine, ILogon* logon, const std::string& lastOutput) {
    if (lastOutput.empty() || strcasecmp(std::filesystem::path(lastOutput).extension().c_str(), ".vrk") == 0) return;
    if ((!logon || logon->OpenResult(lastOutput) == 0) && engine.m_decryptedFiles.GetLength() >= 4) {
        CDlgFileList list(engine.m_decryptedFiles);
        UiHost().RunDialog(list);
    }
}
