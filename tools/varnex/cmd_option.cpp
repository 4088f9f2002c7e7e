// varnex option get|set: the settings of the logon store.

#include <cstdio>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "Session.h"

namespace {

int Usage(const std::string& text) { return UsageError(*FindCommand("option"), text); }

int RunOption(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (!pos.empty() && pos[0] == "get") {
        if (pos.size() != 3) return Usage(MessageText(msg::cli::OptionGetArgs));
        if (!session.Open()) return kExitFailed;
        // A value the store cannot hold tells an unset setting apart from an empty one.
        const std::string unset(1, '\n');
        std::string value = store.GetOption(pos[1], pos[2], unset);
        if (value == unset) return CliFail(MessageText(msg::cli::OptionNotSet, pos[2], pos[1]));
        std::printf("%s\n", value.c_str());
        return kExitOk;
    }
    if (!pos.empty() && pos[0] == "set") {
        if (pos.size() != 4) return Usage(MessageText(msg::cli::OptionSetArgs));
        // A value the directory would refuse at its first use is refused now.
        if (std::string error = CheckDirectorySetting(pos[1], pos[2], pos[3]); !error.empty()) return Usage(error);
        if (!session.Open()) return kExitFailed;
        if (!store.SetOption(pos[1], pos[2], pos[3])) return CliFail(store.LastError());
        if (!cli.options.quiet)
            std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::OptionSetTo, pos[2], pos[1], pos[3]).c_str());
        return kExitOk;
    }
    return Usage(pos.empty() ? MessageText(msg::cli::OptionNeedsSub) : UnknownSubCommandText("option", pos[0]));
}

}  // namespace

VARNEX_COMMAND("option", "get SECTION KEY | set SECTION KEY VALUE", msg::cli_help::Option, RunOption, {},
               {{"get", "SECTION KEY", msg::cli_help::OptionGet, {}},
                {"set", "SECTION KEY VALUE", msg::cli_help::OptionSet, msg::cli_help::OptionSetHelp}});
