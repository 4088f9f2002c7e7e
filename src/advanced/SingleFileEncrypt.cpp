// One envelope package per file under a generated name, for the logged-on user: the source
// checks, the package (made by the envelope packager, which writes it under a temporary name
// and moves it to its final name only when complete), the flush that makes package and folder
// entry durable, and only then the wipe of the original.

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "advanced/AdvanceEmcrypt.h"
#include "advanced/Messages.h"
#include "engine/Messages.h"
#include "engine/Options.h"
#include "envelope/EnvelopePackager.h"
#include "formats/PackagePaths.h"
#include "package/Messages.h"
#include "package/ProgressReport.h"
#include "password/Messages.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/UiHost.h"

namespace {

CAdvanceEmcrypt::SkipRule SkipRuleOf(const std::string& path) {
    using SkipRule = CAdvanceEmcrypt::SkipRule;
    const std::string ext = ExtensionOfPath(path);
    if (LogonEqualNoCase(ext, "vrk") || LogonEqualNoCase(ext, "vrk$")) return SkipRule::kPackageName;
    if (LogonEqualNoCase(ext, "idi")) return SkipRule::kSignatureName;
    if (NameOfPath(path).rfind("~$", 0) == 0) return SkipRule::kLockFileName;
    return SkipRule::kNone;
}

// Names the file a message is about while it is shown: a batch settles a file's wipe while the
// next file is in hand.
class SubjectScope {
public:
    explicit SubjectScope(const std::string& file) : m_before(UiHost().Subject()) { UiHost().SetSubject(file); }
    ~SubjectScope() { UiHost().SetSubject(m_before); }
    SubjectScope(const SubjectScope&) = delete;
    SubjectScope& operator=(const SubjectScope&) = delete;

private:
    std::string m_before;
};

}  // namespace

CAdvanceEmcrypt::CAdvanceEmcrypt() = default;
CAdvanceEmcrypt::~CAdvanceEmcrypt() = default;

std::vector<std::string> CAdvanceEmcrypt::ListEntries(const char* fileList) {
    std::vector<std::string> files;
    // Absolute, so that every package's base folder is the folder its file is in.
    for (const char* p = fileList; p && *p; p += std::strlen(p) + 1) {
        std::error_code ec;
        std::filesystem::path absolute = std::filesystem::absolute(p, ec);
        files.push_back(ec ? std::string(p) : absolute.lexically_normal().string());
    }
    return files;
}

int CAdvanceEmcrypt::ReadySource(const char* path, int* verdict) {
    *verdict = 1;
    m_lastSkip = SkipRuleOf(path);
    if (m_lastSkip != SkipRule::kNone) return 0;
    SetFileArchiveStatus(path, 0x20);
    for (;;) {
        // Only a regular file is opened: opening a pipe or a device could wait for ever.
        CFile file;
        if (IsExistingFile(path) && file.Open(path, CFile::modeRead | CFile::shareDenyNone)) return 1;
        if (m_quiet) break;
        int answer = ShowMessage(msg::advanced::RetryOpen, path);
        if (answer == IDABORT) {
            *verdict = -1;
            return 0;
        }
        if (answer != IDRETRY) break;
    }
    *verdict = 0;
    return 0;
}

namespace {

// What a fixed "<name>.vrk" may replace: nothing, or a secured package (a regular file whose
// head unseals as a secured file's). Anything else under that name is the user's and stays.
bool MayReplace(CKorvane& engine, const char* path) {
    struct stat st {};
    if (::lstat(path, &st) != 0) return errno == ENOENT;
    EncryptFlag head;
    return S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) >= kHeadSize &&
           engine.GetEncryptedFileHead(path, &head, 0) == 1 && std::memcmp(head.magic, "KF", 2) == 0;
}

}  // namespace

int CAdvanceEmcrypt::SetEnvelopEncryptFileFixedHead(EncryptFlag* head, Decrypt_UserInfo* recipients, int* count,
                                                    const char* folder, const char* userId) {
    ILogon* logon = LogonLibrary();
    if (logon == nullptr || userId == nullptr) return 0;
    BatchRecipient& kept = m_batchRecipient;
    if (kept.filled && kept.userId == userId) {
        recipients[0] = kept.entry;
    } else {
        std::memset(&recipients[0], 0, sizeof recipients[0]);
        if (!FillRecipient(*logon, userId, recipients[0])) return 0;
        if (kept.inBatch) {
            kept.entry = recipients[0];
            kept.userId = userId;
            kept.filled = true;
        }
    }
    *count = 1;
    InitEncryptFlag(head, kKindEnvelope);
    head->count = 1;
    CopyText(head->baseFolder, sizeof head->baseFolder, folder);
    return 1;
}

int CAdvanceEmcrypt::EnvelopEncryptSingleFile(const char* path, const char* userId, const char* password) {
    (void)password;  // proven once for the whole batch; the signature opens the key with it again
    int verdict = 0;
    if (!ReadySource(path, &verdict)) return verdict;
    EncryptFlag head;
    Decrypt_UserInfo entry;
    int count = 0;
    if (!SetEnvelopEncryptFileFixedHead(&head, &entry, &count, FolderOfPath(path).c_str(), userId)) return 0;
    return EncryptInPlace(path, head, &entry, count, msg::advanced::EncryptFailed, 0);
}

int CAdvanceEmcrypt::EncryptInPlace(const char* path, const EncryptFlag& head, const Decrypt_UserInfo* recipients,
                                    int count, const MessageDef& failedMessage, int failedResult) {
    // Two runs over one folder must not both package a file. The source is held under an
    // exclusive lock from before its package is written until it is wiped; a run that waited for
    // the lock and then finds the file gone (packaged and wiped by the other run) passes over it.
    ExclusiveFileLock lock;
    if (!lock.Take(path)) {
        m_lastSkip = SkipRule::kGone;
        return 1;
    }
    char output[kMaxPath] = {};
    Generate_EncryptFileName(path, output);
    if (output[0] == '\0') {
        ShowMessage(failedMessage);
        return failedResult;
    }

    EnvelopePackRequest request;
    request.packagePath = output;
    request.paths = {path};
    request.baseFolder = std::string(head.baseFolder, strnlen(head.baseFolder, sizeof head.baseFolder));
    request.cipherId = head.cipherId;
    request.kind = head.kind;
    request.entries.assign(recipients, recipients + count);
    // A generated name was free when it was drawn and is never taken from a file that appeared
    // since; "<name>.vrk" replaces the file of that name, but only by the final move of the
    // complete package.
    request.replace = !OptionIsTrue("Option", "RandFileName", "TRUE");
    if (request.replace && !MayReplace(*this, output)) {
        ShowMessage(msg::advanced::NotAPackageInTheWay, output);
        return failedResult;
    }
    EnvelopePackFailure failure = EnvelopePackFailure::kNone;
    int packed = PackEnvelope(*this, request, &failure);
    for (Decrypt_UserInfo& entry : request.entries) OPENSSL_cleanse(&entry, sizeof entry);
    if (packed != 1) {
        ILogon* logon = LogonLibrary();
        switch (failure) {
            case EnvelopePackFailure::kNotLoggedOn:
                return -1;
            case EnvelopePackFailure::kWalk:
                ShowMessage(failedMessage);
                return failedResult;
            case EnvelopePackFailure::kEncryption:
                if (logon == nullptr || logon->IsLoggedOn() == 0) return -1;
                if (logon->GetUserType() == kLogonKeyDevice && logon->IsDevicePresent() == 0) return -1;
                return 0;
            default:
                return 0;
        }
    }
    SetFileArchiveStatus(output, 0x21);
    m_lastPackage = output;
    SourceWiper::Job job{path, output, std::move(lock), m_sealedSources.size() == 1,
                         m_sealedSources.size() == 1 ? m_sealedSources.front() : FileIdentity{}};
    if (m_wiper == nullptr) {
        const SourceWiper::Outcome outcome = SourceWiper::Settle(job);
        if (outcome.flushError != 0) m_lastPackage.clear();
        const Fate fate = SourceFate(outcome);
        if (fate == Fate::kNotWiped && outcome.wipe == WipeOutcome::kOtherNames) SayOtherNames(outcome.source);
        return fate == Fate::kEncrypted ? 1 : 0;
    }
    // In a batch, this file's flush and wipe run beside the packing of the next file. The
    // previous file's end is collected first: one file is in hand at a time.
    SettlePending();
    m_wiper->Start(std::move(job));
    m_pendingOutcome = m_outcomes.size();
    return 1;
}

// Wipes the source of a package just made, but only the file the package holds: the one the
// encryption pass read (the only file it read), held open since before the package was begun,
// unchanged since it was read, and still at its name. Anything else keeps both the file and the
// package, and says so. A file whose name was removed but whose content stayed on the disk is
// encrypted all the same: its package holds it and is durable.
CAdvanceEmcrypt::Fate CAdvanceEmcrypt::SourceFate(const SourceWiper::Outcome& outcome) {
    const char* path = outcome.source.c_str();
    if (outcome.flushError != 0) {
        ShowMessage(msg::engine::WriteFailed, std::strerror(outcome.flushError));
        return Fate::kFailed;
    }
    if (outcome.changed) {
        ShowMessage(msg::advanced::SourceChanged, path);
        return Fate::kFailed;
    }
    switch (outcome.wipe) {
        case WipeOutcome::kWiped:
            return Fate::kEncrypted;
        case WipeOutcome::kReplaced:
            if (outcome.leftAs.empty())
                ShowMessage(msg::advanced::SourceChanged, path);
            else
                ShowMessage(msg::advanced::SourceSwappedAside, path, outcome.leftAs);
            return Fate::kFailed;
        case WipeOutcome::kOtherNames:
            return Fate::kNotWiped;
        case WipeOutcome::kNotOverwritten:
            ShowMessage(msg::advanced::SourceNotOverwritten, path, std::strerror(outcome.wipeError));
            return Fate::kNotWiped;
        case WipeOutcome::kNotRemoved:
            ShowMessage(msg::advanced::SourceNotRemoved, path, std::strerror(outcome.wipeError));
            return Fate::kNotWiped;
    }
    return Fate::kFailed;
}

void CAdvanceEmcrypt::SayOtherNames(const std::string& source) {
    SubjectScope subject(source);
    ShowMessage(msg::advanced::SourceOtherNames, source);
}

void CAdvanceEmcrypt::SettlePending() {
    if (m_wiper == nullptr || !m_wiper->Busy()) return;
    const SourceWiper::Outcome outcome = m_wiper->Finish();
    Fate fate = Fate::kFailed;
    {
        SubjectScope subject(outcome.source);
        fate = SourceFate(outcome);
    }
    if (m_pendingOutcome >= m_outcomes.size()) return;
    FileOutcome& settled = m_outcomes[m_pendingOutcome];
    settled.fate = fate;
    if (outcome.flushError != 0) settled.package.clear();
    if (fate == Fate::kNotWiped && outcome.wipe == WipeOutcome::kOtherNames)
        m_nameOnly.push_back({m_pendingOutcome, outcome.file});
    if (fate != Fate::kEncrypted) return;
    // Wiped under its last name, the content is gone for every name that led to it before: the
    // same file, unwritten since those names were read.
    std::erase_if(m_nameOnly, [&](const NameOnly& earlier) {
        if (!SameFileUnchanged(earlier.file, outcome.file)) return false;
        m_outcomes[earlier.outcome].fate = Fate::kEncrypted;
        return true;
    });
}

void CAdvanceEmcrypt::SayContentLeft() {
    for (const NameOnly& left : m_nameOnly) SayOtherNames(m_outcomes[left.outcome].source);
    m_nameOnly.clear();
}

void CAdvanceEmcrypt::BatchRecipient::Forget() {
    OPENSSL_cleanse(&entry, sizeof entry);
    userId.clear();
    filled = false;
    inBatch = false;
}

void CAdvanceEmcrypt::RunBatch(const std::vector<std::string>& files, HWND notifyWindow,
                               const std::function<int(const char* path)>& encryptOne) {
    m_outcomes.clear();
    m_nameOnly.clear();
    if (files.empty()) return;
    // The batch has the one progress window; the packages' own passes show none. The signing
    // key is unlocked once for the batch, not once per file, and wiped when the batch ends.
    const int showWindow = m_showProgressWindow;
    m_showProgressWindow = 0;
    struct Hold {
        CAdvanceEmcrypt& engine;
        explicit Hold(CAdvanceEmcrypt& e) : engine(e) {
            engine.HoldSigningKey(true);
            engine.m_batchRecipient.inBatch = true;
        }
        ~Hold() {
            engine.HoldSigningKey(false);
            engine.m_batchRecipient.Forget();
        }
    } hold(*this);
    // The last file's flush and wipe are collected before the batch's window closes.
    SourceWiper wiper;
    struct Wiping {
        CAdvanceEmcrypt& engine;
        Wiping(CAdvanceEmcrypt& e, SourceWiper& w) : engine(e) { engine.m_wiper = &w; }
        ~Wiping() { engine.m_wiper = nullptr; }
    } wiping(*this, wiper);
    {
        ProgressReport progress(MessageText(msg::package::EncryptingTitle), MessageText(msg::package::Encrypting),
                                notifyWindow, false);
        const int total = static_cast<int>(files.size());
        for (int done = 0; done < total; ++done) {
            const std::string& path = files[static_cast<size_t>(done)];
            progress.Report(done, total, path);
            m_lastPackage.clear();
            m_lastSkip = SkipRule::kNone;
            const int result = encryptOne(path.c_str());
            // A package handed to the wiper counts as encrypted until its wipe is settled.
            Fate fate = Fate::kFailed;
            if (result == -1)
                fate = Fate::kStopped;
            else if (result == 1)
                fate = m_lastPackage.empty() ? Fate::kSkipped : Fate::kEncrypted;
            m_outcomes.push_back({path, m_lastPackage, fate, fate == Fate::kSkipped ? m_lastSkip : SkipRule::kNone});
            if (result == -1) break;
            progress.Report(done + 1, total, path);
        }
        SettlePending();
    }
    SayContentLeft();
    m_showProgressWindow = showWindow;
}

bool CAdvanceEmcrypt::IsLoggedOnUser(ILogon& logon, const char* userId) {
    std::string user;
    SecretText password;
    int type = 0;
    // Nobody logged on: each file's step stops the batch as after a log-off.
    if (logon.GetLogonUser(user, password, type) && !LogonEqualNoCase(user, userId)) {
        ShowMessage(msg::advanced::NotLoggedOnUser, userId);
        return false;
    }
    return true;
}

int CAdvanceEmcrypt::EncryptMuchFiles(const char* fileList, const char* userId, const char* password,
                                      HWND notifyWindow) try {
    EngineCall call(m_context);
    m_outcomes.clear();
    const std::vector<std::string> files = ListEntries(fileList);
    if (files.empty() || userId == nullptr || password == nullptr) return 1;
    ILogon* logon = LogonLibrary();
    if (logon == nullptr) return 1;
    if (!IsLoggedOnUser(*logon, userId)) return 0;
    // The password is proven once for the batch, not once per file.
    if (!logon->CheckPassword(userId, password, static_cast<int>(std::strlen(password)), 2)) {
        ShowMessage(msg::password::WrongPassword);
        return 1;
    }
    RunBatch(files, notifyWindow, [&](const char* path) { return EnvelopEncryptSingleFile(path, userId, password); });
    return 1;
} catch (...) {
    return EntryFailed(m_context, 1);
}
