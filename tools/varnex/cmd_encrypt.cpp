// varnex encrypt: one envelope package per file for the logged-on user, each under a generated
// name beside its file; every original is wiped once its package is complete and on the disk.

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "EncryptBatch.h"

namespace {

int RunEncrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("encrypt");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingToEncrypt));

    return RunEncryptBatch(cli, parsed.Positionals(), parsed.Has("--json"),
                           [](CAdvanceEmcrypt& engine, const char* list, const char* user, const char* pw, HWND w) {
                               return engine.EncryptMuchFiles(list, user, pw, w);
                           });
}

}  // namespace

VARNEX_COMMAND("encrypt", "[--json] PATH...", msg::cli_help::Encrypt, RunEncrypt, msg::cli_help::EncryptHelp);
