// varnex option get|set: the settings of the logon store.

#include <cstdio>

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
        if (pos.size() != 3) return Usage("option get takes a section and a key");
        if (!session.Open()) return kExitFailed;
        // A value the store cannot hold tells an unset setting apart from an empty one.
        const std::string unset(1, '\n');
        std::string value = store.GetOption(pos[1], pos[2], unset);
        if (value == unset) return CliFail("option " + pos[2] + " of section " + pos[1] + " is not set");
        std::printf("%s\n", value.c_str());
        return kExitOk;
    }
    if (!pos.empty() && pos[0] == "set") {
        if (pos.size() != 4) return Usage("option set takes a section, a key and a value");
        if (!session.Open()) return kExitFailed;
        if (!store.SetOption(pos[1], pos[2], pos[3])) return CliFail(store.LastError());
        if (!cli.options.quiet)
            std::fprintf(stderr, "varnex: option %s of section %s set to '%s'\n", pos[2].c_str(), pos[1].c_str(),
                         pos[3].c_str());
        return kExitOk;
    }
    return Usage(pos.empty() ? "option needs get or set" : "unknown option command '" + pos[0] + "'");
}

}  // namespace

VARNEX_COMMAND("option", "get SECTION KEY | set SECTION KEY VALUE", "settings of the suite", RunOption, {},
               {{"get", "SECTION KEY", "print a setting (exit 1 when it is not set)", ""},
                {"set", "SECTION KEY VALUE", "change a setting",
                 "Section Option: SIgnID (signature digest, 8 or 42), RandFileName, AutoSignFile,\n"
                 "AutoSendPubCert, DkeptFile, DispDecryptResult (TRUE or FALSE, any case), WriteTimes.\n"
                 "Section MAIL: MAPI (1: mail through the mapi module), Opener (the mail program).\n"}});
