// varnex init: the suite folder and its logon store.

#include <cstdio>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"

namespace {

int RunInit(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok() || !parsed.Positionals().empty()) {
        return UsageError(*FindCommand("init"),
                          parsed.Ok() ? MessageText(msg::cli::NoArguments, "init") : parsed.Error());
    }
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    if (!session.Store().CheckIntegrity()) return CliFail(session.Store().LastError());
    std::printf("%s\n", MessageText(msg::cli::InitReady, session.Store().Home()).c_str());
    return kExitOk;
}

}  // namespace

VARNEX_COMMAND("init", "", msg::cli_help::Init, RunInit);
