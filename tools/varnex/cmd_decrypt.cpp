// varnex decrypt: restores password packages, one password for the whole batch.

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Cli.h"
#include "Session.h"
#include "engine/Korvane.h"

namespace {

namespace fs = std::filesystem;

int RunDecrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("decrypt");
    ArgParser parsed(args, {"--direct"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "no package to decrypt");

    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    CKorvane engine;
    engine.m_passwordKnown = 0;
    engine.m_batchSuccess = 1;
    if (!cli.options.packagePasswordFile.empty()) {
        std::string line;
        if (!ReadPasswordFile(cli.options.packagePasswordFile, line)) return kExitFailed;
        engine.m_batchPassword = line;
        engine.m_passwordKnown = 1;
        WipePassword(line);
    } else if (!isatty(STDIN_FILENO) && cli.options.answers.empty()) {
        std::fprintf(stderr, "varnex: no terminal to ask for the password (use --package-password-file)\n");
        return kExitFailed;
    }
    if (std::string to = parsed.Value("--to"); !to.empty()) {
        std::error_code ec;
        fs::create_directories(to, ec);
        if (!fs::is_directory(to, ec)) {
            std::fprintf(stderr, "varnex: cannot make the folder %s\n", to.c_str());
            return kExitFailed;
        }
        engine.m_presetOutFolder = fs::absolute(to).lexically_normal().string();
    }
    int direct = parsed.Has("--direct") ? 1 : 0;
    int failed = 0;
    for (const std::string& package : parsed.Positionals()) {
        std::string path = fs::absolute(package).lexically_normal().string();
        int result = engine.SymmtryDecryptFiles(path.c_str(), nullptr, direct, 0);
        if (result == -1) return kExitStopped;  // stopped: the rest of the batch is left alone
        if (result != 1) ++failed;
    }
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("decrypt", "[--to DIR] [--direct] PACKAGE...", "restore password packages (one password per batch)",
               RunDecrypt);
