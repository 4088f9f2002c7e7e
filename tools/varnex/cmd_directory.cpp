// varnex directory search: people of the organisation's directory, with the state of their
// certificates, before they are used as recipients.

#ifdef VARNEX_DIRECTORY

#include <cstdio>

#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "directory/DirectoryClient.h"
#include "directory/Messages.h"
#include "logon/CertProfile.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"
#include "logon/LogonStoreRules.h"
#include "platform/PrintableText.h"

namespace {

int RunDirectory(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("directory");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty() || pos[0] != "search")
        return UsageError(self, UnknownSubCommandText("directory", pos.empty() ? "" : pos[0]));
    if (pos.size() != 2) return UsageError(self, MessageText(msg::directory::SearchArgs));
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    directory::Settings settings;
    std::string error;
    if (!directory::ReadSettings(session.Store(), settings, error)) return CliFail(error);
    directory::Client client(settings);
    std::vector<directory::Entry> entries;
    if (!client.Connect() || !client.Search(pos[1], entries)) return CliFail(client.Error());
    const bool json = parsed.Has("--json");
    if (json) std::printf("{\"entries\": [");
    bool first = true;
    for (const directory::Entry& entry : entries) {
        directory::Person person;
        const std::string name = entry.mail.empty() ? entry.uid : entry.mail;
        const bool usable = !entry.certs.empty() && client.CheckPerson(name, entry, person);
        const std::string state = usable ? MessageText(msg::directory::StateUsable)
                                  : entry.certs.empty() && entry.oversizeCert == 0
                                      ? MessageText(msg::directory::StateNone)
                                      : client.Error();
        if (json) {
            JsonObject o;
            o.Text("name", entry.cn).Text("email", entry.mail).Text("uid", entry.uid).Bool("usable", usable);
            o.Text("certificate", state);
            if (usable) o.Text("fingerprint", logon::HexOf(logon::CertFingerprint(person.der)));
            std::printf("%s\n  %s", first ? "" : ",", o.Str().c_str());
        } else {
            std::printf("%-28s %-36s %s\n", EscapeText(entry.cn).c_str(), EscapeText(entry.mail).c_str(),
                        EscapeText(state).c_str());
        }
        first = false;
    }
    if (json) std::printf("%s]}\n", first ? "" : "\n");
    return kExitOk;
}

}  // namespace

VARNEX_COMMAND("directory", "search TEXT [--json]", msg::directory::CommandSummary, RunDirectory,
               msg::directory::CommandHelp);

#endif
