// varnex encrypt: one envelope package per file for the logged-on user, each under a generated
// name beside its file; every original is wiped once its package is complete and on the disk.

#include "EncryptBatch.h"
#include "Session.h"
#include "platform/Secret.h"

namespace {

int RunEncrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("encrypt");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to encrypt");

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    CAdvanceEmcrypt engine;
    std::string list;
    if (int exit = CollectEncryptSources(engine, parsed.Positionals(), list); exit >= 0) return exit;
    std::string userId;
    SecretText password;
    int type = 0;
    if (!session.Store().GetLogonUser(userId, password, type)) return CliFail("nobody is logged on");
    int result = 0;
    {
        SubjectWindow subjects(*cli.host);
        result = engine.EncryptMuchFiles(list.c_str(), userId.c_str(), password.c_str(), &subjects);
    }
    return ReportEncryptBatch(cli, engine, parsed.Has("--json"), result);
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
