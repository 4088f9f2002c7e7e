// varnex option get|set: the settings of the logon store.

#include <cstdio>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "KnownSettings.h"
#include "Session.h"
#include "platform/PrintableText.h"

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
        SettingName name;
        if (std::string error; !KnownSetting(pos[1], pos[2], name, error)) return Usage(error);
        if (!session.Open()) return kExitFailed;
        // A value the store cannot hold tells an unset setting apart from an empty one.
        const std::string unset(1, '\n');
        std::string value = store.GetOption(name.section, name.key, unset);
        if (value == unset) return CliFail(MessageText(msg::cli::OptionNotSet, name.key, name.section));
        std::printf("%s\n", value.c_str());
        return kExitOk;
    }
    if (!pos.empty() && pos[0] == "set") {
        if (pos.size() != 4) return Usage(MessageText(msg::cli::OptionSetArgs));
        // Stored as the suite reads it, and only a value it reads as meant: a value the
        // directory would refuse at its first use is refused now too.
        SettingName name;
        if (std::string error; !KnownSetting(pos[1], pos[2], name, error)) return Usage(error);
        for (const std::string& error :
             {CheckSettingValue(name, pos[3]), CheckDirectorySetting(name.section, name.key, pos[3])})
            if (!error.empty()) return Usage(error);
        if (!session.Open()) return kExitFailed;
        if (!store.SetOption(name.section, name.key, pos[3])) return CliFail(store.LastError());
        if (!cli.options.quiet)
            std::fprintf(stderr, "varnex: %s\n",
                         MessageText(msg::cli::OptionSetTo, name.key, name.section, EscapeText(pos[3])).c_str());
        return kExitOk;
    }
    return Usage(pos.empty() ? MessageText(msg::cli::OptionNeedsSub) : UnknownSubCommandText("option", pos[0]));
}

}  // namespace

VARNEX_COMMAND("option", "get SECTION KEY | set SECTION KEY VALUE", msg::cli_help::Option, RunOption, {},
               {{"get", "SECTION KEY", msg::cli_help::OptionGet, {}},
                {"set", "SECTION KEY VALUE", msg::cli_help::OptionSet, msg::cli_help::OptionSetHelp}});
