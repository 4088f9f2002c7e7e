#include "EncryptBatch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "package/PackageWalker.h"
#include "platform/PrintableText.h"
#include "platform/Secret.h"

int CollectEncryptSources(CAdvanceEmcrypt& engine, const std::vector<std::string>& paths, std::string& list) {
    engine.m_leftOutEntries.clear();
    char* buffer = nullptr;
    int used = 0;
    struct Free {
        char*& buffer;
        ~Free() { std::free(buffer); }
    } release{buffer};
    for (const std::string& p : paths) {
        std::error_code ec;
        std::string path = std::filesystem::absolute(p, ec).lexically_normal().string();
        if (ec || !std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
            std::fprintf(stderr, "varnex: %s: %s\n", p.c_str(), MessageText(msg::cli::NoSuchFileOrFolder).c_str());
            return kExitFailed;
        }
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        if (!engine.Collect_EncryptFileName(path.c_str(), &buffer, &used)) {
            // A path that is neither file nor folder; a full memory or a folder that cannot be
            // listed has said so itself.
            if (!std::filesystem::is_regular_file(path, ec) && !std::filesystem::is_directory(path, ec))
                std::fprintf(stderr, "varnex: %s: %s\n", p.c_str(), MessageText(msg::cli::NotFileOrFolder).c_str());
            return kExitFailed;
        }
    }
    list.assign(buffer ? buffer : "", static_cast<size_t>(used));
    list.push_back('\0');
    PackageWalker::ShowLeftOut(engine);
    return -1;
}

int RunEncryptBatch(CliContext& cli, const std::vector<std::string>& paths, bool json, const EncryptCall& encrypt) {
    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    CAdvanceEmcrypt engine;
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

int ReportEncryptBatch(const CliContext& cli, const CAdvanceEmcrypt& engine, bool json, int result) {
    std::vector<std::string> made, skipped, failed;
    bool stopped = false;
    for (const CAdvanceEmcrypt::FileOutcome& o : engine.m_outcomes) {
        // A package made for a file that was then not wiped (changed meanwhile, other names, no
        // write permission) is listed, and the file counts as failed: the engine said why.
        if (!o.package.empty())
            made.push_back(JsonObject().Text("source", o.source).Text("package", o.package).Str());
        else if (o.result == 1)
            skipped.push_back(o.source);
        if (o.result == 0) failed.push_back(o.source);
        stopped = stopped || o.result == -1;
        if (!o.package.empty() && !json && !cli.options.quiet)
            std::printf("%s -> %s\n", EscapeText(o.source).c_str(), EscapeText(o.package).c_str());
    }
    if (json) {
        std::string list;
        for (const std::string& m : made) list += (list.empty() ? "" : ", ") + m;
        std::printf("%s\n", JsonObject()
                                .Raw("encrypted", "[" + list + "]")
                                .Texts("skipped", skipped)
                                .Texts("failed", failed)
                                .Bool("stopped", stopped)
                                .Str()
                                .c_str());
    } else if (!cli.options.quiet) {
        const std::string summary = MessageText(made.size() == 1 ? msg::cli::EncryptedOne : msg::cli::EncryptedMany,
                                                made.size(), skipped.size(), failed.size());
        std::fprintf(stderr, "varnex: %s%s\n", summary.c_str(),
                     stopped ? MessageText(msg::cli::StoppedSuffix).c_str() : "");
    }
    if (result != 1 || (!failed.empty() && !stopped)) return kExitFailed;
    return stopped ? kExitStopped : kExitOk;
}
