// varnex share-encrypt: one shared envelope package per file for the logged-on user and every
// authorised decryptor of a share path, each under a generated name; originals wiped.

#include <filesystem>

#include "EncryptBatch.h"

namespace {

int RunShareEncrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("share-encrypt");
    ArgParser parsed(args, {"--json"}, {"--share"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    const std::string share = parsed.Value("--share");
    if (share.empty()) return UsageError(self, "the share path is missing (--share PATH)");
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to encrypt");

    std::error_code ec;
    std::string sharePath = std::filesystem::absolute(share, ec).lexically_normal().string();
    if (ec) sharePath = share;
    return RunEncryptBatch(cli, parsed.Positionals(), parsed.Has("--json"),
                           [&](CAdvanceEmcrypt& engine, const char* list, const char* user, const char* pw, HWND w) {
                               return engine.ShareEncryptMuchFiles(list, sharePath.c_str(), user, pw, w);
                           });
}

}  // namespace

VARNEX_COMMAND("share-encrypt", "--share PATH [--json] FILE...",
               "encrypt files in place for everyone a share path names: one shared package per file under a "
               "generated name, the original wiped",
               RunShareEncrypt,
               "The recipients are the logged-on user and every user and group member that `varnex share\n"
               "grant` authorised for PATH, each once, at most 200 people; without a grant for PATH the\n"
               "packages are for the logged-on user alone. A recipient whose certificate changed since it\n"
               "was confirmed is named and left out. Names, skips and the wipe as for `varnex encrypt`.\n\n"
               "  --share PATH   the shared folder whose authorised decryptors receive the packages\n"
               "  --json         print one JSON document instead: encrypted (source, package), skipped,\n"
               "                 failed, stopped\n");
