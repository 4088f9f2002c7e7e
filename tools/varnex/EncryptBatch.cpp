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
    bool stopped = false;
    for (const CAdvanceEmcrypt::FileOutcome& o : engine.m_outcomes) {
        // A package made for a file that was then not wiped (changed meanwhile, other names, no
        // write permission) is listed, and the file counts as failed: the engine said why.
        if (!o.package.empty())
            made.push_back(JsonObject().Text("source", o.source).Text("package", o.package).Str());
        else if (o.result == 1)
            skipped.push_back(JsonObject().Text("source", o.source).Text("reason", SkipWord(o.skip)).Str());
        if (o.result == 0) failed.push_back(o.source);
        stopped = stopped || o.result == -1;
        // Never dropped by --quiet: a package's generated name is the only way to find its file.
        if (!o.package.empty() && !json)
            std::printf("%s -> %s\n", EscapeText(o.source).c_str(), EscapeText(o.package).c_str());
        if (o.package.empty() && o.result == 1 && !json)
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(o.source).c_str(),
                         MessageText(SkipMessage(o.skip)).c_str());
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
        const std::string summary = MessageText(made.size() == 1 ? msg::cli::EncryptedOne : msg::cli::EncryptedMany,
                                                made.size(), skipped.size(), failed.size());
        std::fprintf(stderr, "varnex: %s%s\n", summary.c_str(),
                     stopped ? MessageText(msg::cli::StoppedSuffix).c_str() : "");
    }
    if (result != 1 || (!failed.empty() && !stopped)) return kExitFailed;
    return stopped ? kExitStopped : kExitOk;
}
