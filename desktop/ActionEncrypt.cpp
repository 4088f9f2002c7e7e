// envelope, encrypt and share: packages made for the logged-on user and the people chosen, each
// ending with the list of what was made.

#include <filesystem>
#include <functional>

#include "Actions.h"
#include "DirectorySource.h"
#include "LogonEntry.h"
#include "Messages.h"
#include "QtUiHost.h"
#include "Recipients.h"
#include "advanced/AdvanceEmcrypt.h"
#include "advanced/EncryptSources.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonStore.h"
#include "password/PasswordPackager.h"
#include "platform/MessageBox.h"
#include "platform/Secret.h"
#include "platform/SourceBytes.h"

namespace {

// One package of several files, or one each: asked at the first envelope of the run with
// several files, and kept for the rest of it (files dropped later ask nothing). False when the
// person cancelled.
bool AskOnePackage(const std::vector<std::string>& files, int& remembered, bool& one) {
    enum : int { kNotAsked, kOnePackage, kEachFile };
    one = true;
    if (files.size() < 2) return true;
    if (remembered == kNotAsked) {
        const int answer = ShowMessage(msg::desktop::OnePackage, static_cast<int>(files.size()));
        if (answer != IDYES && answer != IDNO) return false;
        remembered = answer == IDYES ? kOnePackage : kEachFile;
    }
    one = remembered == kOnePackage;
    return true;
}

// The files of an encryption batch, each file or folder said when it cannot be had.
bool CollectBatch(CAdvanceEmcrypt& engine, const std::vector<std::string>& files, std::string& list) {
    std::string bad;
    const EncryptSourcesEnd end = CollectEncryptList(engine, files, list, bad);
    if (end == EncryptSourcesEnd::kMissing || end == EncryptSourcesEnd::kNotFileOrFolder)
        ShowMessage(msg::desktop::NoSuchFile, bad);
    if (end == EncryptSourcesEnd::kLink) ShowMessage(msg::desktop::LinkLeftAlone, bad);
    return end == EncryptSourcesEnd::kOk;
}

// What a batch did, said in one message; 1 when every file is done, -1 when stopped.
int ReportBatch(const CAdvanceEmcrypt& engine, int result, const std::string& extra) {
    if (result != 1) return 0;  // the engine said why
    std::vector<std::string> made;
    int skipped = 0, failed = 0;
    bool stopped = false;
    int notWiped = 0;
    using Fate = CAdvanceEmcrypt::Fate;
    // Each file counts once; one encrypted without its content wiped was said by the engine.
    for (const CAdvanceEmcrypt::FileOutcome& o : engine.m_outcomes) {
        if (o.fate == Fate::kEncrypted || o.fate == Fate::kNotWiped) made.push_back(o.source + " -> " + o.package);
        notWiped += o.fate == Fate::kNotWiped ? 1 : 0;
        if (o.fate == Fate::kSkipped) ++skipped;
        if (o.fate == Fate::kFailed) ++failed;
        stopped = stopped || o.fate == Fate::kStopped;
    }
    std::string list = ShortList(made);
    if (!extra.empty()) list = extra + "\n" + list;
    if (notWiped == 0)
        ShowMessage(msg::desktop::EncryptDone, static_cast<int>(made.size()), skipped, failed, list);
    else
        ShowMessage(msg::desktop::EncryptDoneContentLeft, static_cast<int>(made.size()), skipped, failed, notWiped,
                    list);
    if (stopped) return -1;
    return failed == 0 && notWiped == 0 ? 1 : 0;
}

}  // namespace

int EnvelopeFiles(ActionJob& job) {
    if (!LogOnUser(job.store)) return -1;
    int ended = -1;
    const std::unique_ptr<RecipientChoice> choice = ChooseRecipients(job, LoggedOnUser(job.store), true, ended);
    if (!choice) return ended;
    bool one = true;
    if (!AskOnePackage(job.files, job.answers.packageCount, one)) return -1;
    std::vector<std::vector<std::string>> packages;
    if (one)
        packages.push_back(job.files);
    else
        for (const std::string& file : job.files) packages.push_back({file});

    std::vector<std::string> made;
    int result = 1;
    for (const std::vector<std::string>& paths : packages) {
        EnvelopePackRequest request;
        request.paths = paths;
        request.baseFolder = CommonBaseFolder(paths);
        request.packagePath = FreePackageName(paths.front(), kEnvelopeExtension);
        request.recipients = choice->ChosenUserIds();
        job.host.SetJobBytes(SourceBytes(paths));
        if (PackEnvelope(job.engine, request) == 1) {
            made.push_back(request.packagePath);
            continue;
        }
        result = 0;
        if (job.host.StopRequested()) break;
    }
    if (!made.empty()) ShowMessage(msg::desktop::PackagesMade, static_cast<int>(made.size()), ShortList(made));
    if (job.host.StopRequested() && result != 1) {
        ShowMessage(msg::desktop::Stopped);
        return -1;
    }
    return result;
}

namespace {

// An encrypt batch of the job's files as the logged-on user: `encrypt` runs the engine's batch
// over the file list with the user's ID and password; the report ends with `note`.
using EncryptBatchCall =
    std::function<int(CAdvanceEmcrypt&, const char* list, const char* userId, const char* password)>;
int RunEncryptBatch(ActionJob& job, const EncryptBatchCall& encrypt, const std::string& note) {
    EngineContext context = job.engine.Context();
#ifdef VARNEX_DIRECTORY
    // The directory groups a share path names; a certificate refused in its dialog ends the
    // batch as cancelled, with nothing made.
    const std::unique_ptr<directory::ShareGroups> groups = ShareDirectoryGroups(job.host, job.store);
    context.directoryGroups = groups.get();
#endif
    CAdvanceEmcrypt engine(context);
    std::string list;
    if (!CollectBatch(engine, job.files, list)) return 0;
    std::string userId;
    SecretText password;
    int type = 0;
    job.store.GetLogonUser(userId, password, type);
    job.host.SetJobBytes(SourceBytes(job.files));
    const int result = encrypt(engine, list.c_str(), userId.c_str(), password.c_str());
#ifdef VARNEX_DIRECTORY
    if (result != 1 && groups && groups->Refused()) return -1;
#endif
    return ReportBatch(engine, result, note);
}

}  // namespace

int EncryptEachFile(ActionJob& job) {
    if (!LogOnUser(job.store)) return -1;
    return RunEncryptBatch(job,
                           [](CAdvanceEmcrypt& engine, const char* list, const char* userId, const char* password) {
                               return engine.EncryptMuchFiles(list, userId, password, nullptr);
                           },
                           {});
}

int ShareEncryptFiles(ActionJob& job) {
    if (!LogOnUser(job.store)) return -1;
    const std::string share = CommonBaseFolder(job.files);
    Insure_Decrypt_Men present;
    if (!job.store.ReadDecryptMen({}, share, present)) present.entries.clear();
    int ended = -1;
    const std::unique_ptr<RecipientChoice> choice =
        ChooseRecipients(job, LoggedOnUser(job.store), true, ended, &present.entries);
    if (!choice) return ended;
    if (const std::vector<DecryptMan> added = choice->ChosenShareEntries();
        !added.empty() && !job.store.GrantShare(share, added)) {
        ShowMessage(msg::desktop::ShareGrantFailed, share, job.store.LastError());
        return 0;
    }
    return RunEncryptBatch(
        job,
        [&](CAdvanceEmcrypt& engine, const char* list, const char* userId, const char* password) {
            return engine.ShareEncryptMuchFiles(list, share.c_str(), userId, password, nullptr);
        },
        MessageText(msg::desktop::ShareFor, share));
}
