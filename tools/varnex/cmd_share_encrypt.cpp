// varnex share-encrypt: one shared envelope package per file for the logged-on user and every
// authorised decryptor of a share path, each under a generated name; originals wiped.

#include <cstdio>
#include <filesystem>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "EncryptBatch.h"
#include "logon/ILogon.h"
#include "platform/PrintableText.h"

namespace {

bool Granted(const std::string& path) {
    Insure_Decrypt_Men men;
    ILogon* logon = LogonLibrary();
    return logon != nullptr && logon->ReadDecryptMen({}, path, men) != 0 && !men.entries.empty();
}

// The share path as its grants were recorded: as named, else by its real path (named through a
// link); one with no grant either way is said, as the packages are then the user's alone.
std::string GrantedSharePath(const std::string& share, const std::string& named) {
    if (Granted(named)) return named;
    std::error_code ec;
    const std::string real = std::filesystem::weakly_canonical(named, ec).string();
    if (!ec && real != named && Granted(real)) return real;
    std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::ShareNobodyGranted, EscapeText(share)).c_str());
    return named;
}

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
                               const std::string granted = GrantedSharePath(share, sharePath);
                               return engine.ShareEncryptMuchFiles(list, granted.c_str(), user, pw, w);
                           });
}

}  // namespace

VARNEX_COMMAND("share-encrypt", "--share PATH [--json] FILE...", msg::cli_help::ShareEncrypt, RunShareEncrypt,
               msg::cli_help::ShareEncryptHelp);
