// varnex encrypt: one envelope package per file for the logged-on user, each under a generated
// name beside its file; every original is wiped once its package is complete and on the disk.

#include "EncryptBatch.h"

namespace {

int RunEncrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("encrypt");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to encrypt");

    return RunEncryptBatch(cli, parsed.Positionals(), parsed.Has("--json"),
                           [](CAdvanceEmcrypt& engine, const char* list, const char* user, const char* pw, HWND w) {
                               return engine.EncryptMuchFiles(list, user, pw, w);
                           });
}

}  // namespace

VARNEX_COMMAND("encrypt", "[--json] PATH...",
               "encrypt files in place for the logged-on user: one envelope package per file under a generated "
               "name, the original wiped",
               RunEncrypt,
               "Every file named, and every file below a folder named, becomes an envelope package for the\n"
               "logged-on user beside it: 8 random letters or digits, the file's extension and \".vrk\"\n"
               "(\"report.doc.vrk\" when the setting RandFileName of section Option is FALSE; an existing\n"
               "package of that name is then replaced). The original is wiped only once its package is\n"
               "complete and flushed to the disk. Packages (.vrk), signature files (.idi) and Office lock\n"
               "files (~$*) are passed over; links inside a folder are left out and named.\n"
               "Prints \"FILE -> PACKAGE\" for each package and a summary line.\n\n"
               "  --json    print one JSON document instead: encrypted (source, package), skipped, failed,\n"
               "            stopped\n");
