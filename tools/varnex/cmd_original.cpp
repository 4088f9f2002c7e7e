// varnex original: the name, time and size of the file a generated-name package holds, read for
// the logged-on user without decrypting anything.

#include <cstdio>
#include <cstring>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "advanced/AdvanceEmcrypt.h"
#include "platform/PrintableText.h"
#include "platform/Secret.h"
#include "signature/SecureInfo.h"

namespace {

// "20030105090703" -> "2003-01-05 09:07:03"; anything else as it stands.
std::string ShownTime(const std::string& t) {
    if (t.size() != 14) return t;
    return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) + ":" + t.substr(10, 2) +
           ":" + t.substr(12, 2);
}

int RunOriginal(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("original");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoPackageNamed));
    const bool json = parsed.Has("--json");

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    std::string userId, indexName;
    SecretText password;
    int type = 0;
    Lumo_PrivateKey index;
    if (!session.Store().GetLogonUser(userId, password, type) || !session.Store().GetPrivateKeyIndex(index, indexName))
        return CliFail(MessageText(msg::cli::NobodyLoggedOn));
    CAdvanceEmcrypt engine;
    std::vector<std::string> items;
    int failed = 0;
    for (const std::string& package : parsed.Positionals()) {
        char name[kMaxPath] = {}, time[kMaxPath] = {};
        int32_t size = 0;
        if (!RegularFileOrSay(package)) {
            ++failed;
            continue;
        }
        if (!engine.GetFileOriInfo(package.c_str(), userId.c_str(), password.c_str(), index, name, time, &size)) {
            std::fprintf(stderr, "varnex: %s\n",
                         MessageText(msg::cli::NotOneFileEnvelope, EscapeText(package), EscapeText(userId)).c_str());
            ++failed;
            continue;
        }
        // Neither a password package (its names are not read here) nor a package of several
        // items has one name to answer with: varnex list shows them.
        if (name[0] == '\0' || std::strcmp(name, kMixedFilesText) == 0) {
            std::fprintf(stderr, "varnex: %s\n",
                         MessageText(name[0] == '\0' ? msg::cli::PasswordPackageList : msg::cli::SeveralItemsList,
                                     EscapeText(package))
                             .c_str());
            ++failed;
            continue;
        }
        if (json)
            items.push_back(JsonObject()
                                .Text("package", package)
                                .Text("name", name)
                                .Text("modified", ShownTime(time))
                                .Number("size", size)
                                .Str());
        else
            std::printf("%s: %s  %s  %d bytes\n", EscapeText(package).c_str(), EscapeText(name).c_str(),
                        ShownTime(time).c_str(), size);
    }
    if (json) PrintJsonArray(items);
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("original", "[--json] PACKAGE...", msg::cli_help::Original, RunOriginal, msg::cli_help::OriginalHelp);
