#include "EncryptBatch.h"

#include <cstdio>
#include <filesystem>

#include "CliMessages.h"
#include "DirectoryCli.h"
#include "JsonText.h"
#include "Session.h"
#include "advanced/EncryptSources.h"
#include "platform/PrintableText.h"
#include "platform/Secret.h"

int CollectEncryptSources(CAdvanceEmcrypt& engine, const std::vector<std::string>& paths, std::string& list) {
    std::string bad;
    switch (CollectEncryptList(engine, paths, list, bad)) {
        case EncryptSourcesEnd::kOk:
            return -1;
        case EncryptSourcesEnd::kMissing:
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(bad).c_str(),
                         MessageText(msg::cli::NoSuchFileOrFolder).c_str());
            break;
        case EncryptSourcesEnd::kNotFileOrFolder:
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(bad).c_str(),
                         MessageText(msg::cli::NotFileOrFolder).c_str());
            break;
        case EncryptSourcesEnd::kLink:
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(bad).c_str(),
                         MessageText(msg::cli::LinkNotEncrypted).c_str());
            break;
        case EncryptSourcesEnd::kSaid:
            break;
    }
    return kExitFailed;
}

int RunEncryptBatch(CliContext& cli, const std::vector<std::string>& paths, bool json, const EncryptCall& encrypt) {
    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    // Shared encryption reads the directory groups a share names through the engine's context.
    const std::unique_ptr<IDirectoryGroups> groups = CliDirectoryGroups(cli, session.Store());
    CAdvanceEmcrypt engine(EngineContext{.directoryGroups = groups.get()});
    std::string list;
    if (int exit = CollectEncryptSources(engine, paths, list); exit >= 0) return exit;
    std::string userId;
    SecretText password;
    int type = 0;
    if (!session.Store().GetLogonUser(userId, password, type)) return CliFail(MessageText(msg::cli::NobodyLoggedOn));
    int result = 0;
    {
        SubjectWindow subjects(*cli.host);
        result = encrypt(engine, list.c_str(), userId.c_str(), password.c_str(), &subjects);
    }
    return ReportEncryptBatch(cli, engine, json, result);
}

LRESULT SubjectWindow::SendMessage(unsigned msg, WPARAM, LPARAM lParam) {
    if (msg == WM_PROGRESS_FILE && lParam != 0)
        m_host.SetSubject(reinterpret_cast<const ProgressPayload*>(lParam)->path);
    return 0;
}

namespace {

using Fate = CAdvanceEmcrypt::Fate;
using SkipRule = CAdvanceEmcrypt::SkipRule;

// Why a file was passed over, as --json gives it.
const char* SkipWord(SkipRule rule) {
    switch (rule) {
        case SkipRule::kPackageName:
            return "package-name";
        case SkipRule::kSignatureName:
            return "signature-name";
        case SkipRule::kLockFileName:
            return "lock-file-name";
        case SkipRule::kGone:
        case SkipRule::kNone:
            break;
    }
    return "gone";
}

// Why a file was passed over, as the text report says it.
const MessageDef& SkipMessage(SkipRule rule) {
    switch (rule) {
        case SkipRule::kPackageName:
            return msg::cli::SkippedPackageName;
        case SkipRule::kSignatureName:
            return msg::cli::SkippedSignatureName;
        case SkipRule::kLockFileName:
            return msg::cli::SkippedLockFileName;
        case SkipRule::kGone:
        case SkipRule::kNone:
            break;
    }
    return msg::cli::SkippedGone;
}

}  // namespace

int ReportEncryptBatch(const CliContext& cli, const CAdvanceEmcrypt& engine, bool json, int result) {
    std::vector<std::string> made, skipped, failed;
    size_t notWiped = 0;
    bool stopped = false;
    // Each file has one fate and is reported once. Result lines are never dropped by --quiet: a
    // package's generated name is the only way to find what became of its file.
    for (const CAdvanceEmcrypt::FileOutcome& o : engine.m_outcomes) {
        switch (o.fate) {
            case Fate::kEncrypted:
            case Fate::kNotWiped:
                made.push_back(JsonObject()
                                   .Text("source", o.source)
                                   .Text("package", o.package)
                                   .Bool("wiped", o.fate == Fate::kEncrypted)
                                   .Str());
                if (o.fate == Fate::kNotWiped) ++notWiped;
                if (!json) std::printf("%s -> %s\n", EscapeText(o.source).c_str(), EscapeText(o.package).c_str());
                break;
            case Fate::kSkipped:
                skipped.push_back(JsonObject().Text("source", o.source).Text("reason", SkipWord(o.skip)).Str());
                if (!json)
                    std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(o.source).c_str(),
                                 MessageText(SkipMessage(o.skip)).c_str());
                break;
            case Fate::kFailed:  // the engine said why
                failed.push_back(o.source);
                break;
            case Fate::kStopped:
                stopped = true;
                break;
        }
    }
    if (json) {
        auto array = [](const std::vector<std::string>& objects) {
            std::string list;
            for (const std::string& o : objects) list += (list.empty() ? "" : ", ") + o;
            return "[" + list + "]";
        };
        std::printf("%s\n", JsonObject()
                                .Raw("encrypted", array(made))
                                .Raw("skipped", array(skipped))
                                .Texts("failed", failed)
                                .Bool("stopped", stopped)
                                .Str()
                                .c_str());
    } else if (!cli.options.quiet && (result == 1 || !engine.m_outcomes.empty())) {
        // A batch refused before its first file (password, recipients) was said by the engine:
        // a summary of nothing done would read as a batch that found nothing to do.
        const std::string summary =
            notWiped == 0 ? MessageText(made.size() == 1 ? msg::cli::EncryptedOne : msg::cli::EncryptedMany,
                                        made.size(), skipped.size(), failed.size())
            : made.size() == 1
                ? MessageText(msg::cli::EncryptedOneNotWiped, made.size(), skipped.size(), failed.size())
                : MessageText(msg::cli::EncryptedManyNotWiped, made.size(), notWiped, skipped.size(), failed.size());
        std::fprintf(stderr, "varnex: %s%s\n", summary.c_str(),
                     stopped ? MessageText(msg::cli::StoppedSuffix).c_str() : "");
    }
    // A file encrypted but not wiped fails the command too: its content is still on the disk.
    if (result != 1 || ((!failed.empty() || notWiped != 0) && !stopped)) return kExitFailed;
    return stopped ? kExitStopped : kExitOk;
}
