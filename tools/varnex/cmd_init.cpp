// varnex init: the suite folder and its logon store.

#include <cstdio>

#include "Session.h"

namespace {

int RunInit(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok() || !parsed.Positionals().empty()) {
        return UsageError(*FindCommand("init"), parsed.Ok() ? "init takes no arguments" : parsed.Error());
    }
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    if (!session.Store().CheckIntegrity()) return CliFail(session.Store().LastError());
    std::printf("suite folder %s is ready\n", session.Store().Home().c_str());
    return kExitOk;
}

}  // namespace

VARNEX_COMMAND("init", "", "create the suite folder and its logon store (idempotent)", RunInit);
