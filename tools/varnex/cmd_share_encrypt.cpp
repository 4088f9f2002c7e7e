// varnex share-encrypt: one shared envelope package per file for the logged-on user and every
// authorised decryptor of a share path, each under a generated name; originals wiped.

#include <filesystem>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "EncryptBatch.h"

namespace {

int RunShareEncrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("share-encrypt");
    ArgParser parsed(args, {"--json"}, {"--share"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    const std::string share = parsed.Value("--share");
    if (share.empty()) return UsageError(self, MessageText(msg::cli::ShareMissing));
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingToEncrypt));

    std::error_code ec;
    std::string sharePath = std::filesystem::absolute(share, ec).lexically_normal().string();
    if (ec) sharePath = share;
    return RunEncryptBatch(cli, parsed.Positionals(), parsed.Has("--json"),
                           [&](CAdvanceEmcrypt& engine, const char* list, const char* user, const char* pw, HWND w) {
                               return engine.ShareEncryptMuchFiles(list, sharePath.c_str(), user, pw, w);
                           });
}

}  // namespace

VARNEX_COMMAND("share-encrypt", "--share PATH [--json] FILE...", msg::cli_help::ShareEncrypt, RunShareEncrypt,
               msg::cli_help::ShareEncryptHelp);
