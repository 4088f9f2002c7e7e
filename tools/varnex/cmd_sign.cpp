// varnex sign: signature files (".idi") beside the files, kind 4; --for-mail makes kind 16;
// --mail also mails the signed files with their signature files.

#include <sys/stat.h>

#include <cstdio>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/Window.h"

namespace {

// When a signature file was last written (0: there is none), to tell which ones this run wrote.
struct timespec WrittenAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtim : timespec{0, 0};
}

bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

int RunSign(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("sign");
    ArgParser parsed(args, {"--mail", "--for-mail"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoFileToSign));
    std::string list;
    std::vector<timespec> before;
    for (const std::string& p : parsed.Positionals()) {
        if (p.empty() || p.size() + 4 >= static_cast<size_t>(kMaxPath))
            return UsageError(self, MessageText(msg::cli::SignPathLength, p, kMaxPath - 5));
        list += p + '\0';
        before.push_back(WrittenAt(p + ".idi"));
    }
    list += '\0';

    CliSession session(cli);
    // The key signs each file after its digest.
    if (!session.LogOn()) return kExitFailed;
    std::string userId;
    SecretText password;
    int type = 0;
    session.Store().GetLogonUser(userId, password, type);
    CKorvane engine;
    bool mail = parsed.Has("--mail");
    if (parsed.Has("--for-mail") && !mail)
        engine.SignFilesWithEmail(list.c_str(), userId.c_str(), password.c_str(), 0);
    else
        engine.SignFiles(list.c_str(), userId.c_str(), password.c_str(), 0, mail ? 1 : 0);

    // Mailed signature files were deleted once the message held them: nothing to list.
    if (mail) return engine.m_signedCount == parsed.Positionals().size() ? kExitOk : kExitFailed;
    int missing = 0;
    for (size_t i = 0; i < parsed.Positionals().size(); ++i) {
        std::string signature = parsed.Positionals()[i] + ".idi";
        timespec now = WrittenAt(signature);
        if (now.tv_sec != 0 && !Same(now, before[i]))
            std::printf("%s\n", signature.c_str());
        else
            ++missing;
    }
    return missing == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("sign", "[--mail] [--for-mail] FILE...", msg::cli_help::Sign, RunSign, msg::cli_help::SignHelp);
