// varnex share grant|list: the authorised decryptors of shared folders.

#include <cstdio>
#include <filesystem>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "Session.h"

namespace {

int Usage(const std::string& text) { return UsageError(*FindCommand("share"), text); }

// Share paths are kept absolute, the way the engine asks for them.
std::string AbsoluteFolder(const std::string& path) {
    std::error_code ec;
    std::string out = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : out;
}

void PrintShare(LogonStore& store, const Insure_Decrypt_Men& share) {
    std::printf("%s\n", share.path.c_str());
    for (const DecryptMan& man : share.entries) {
        LogonKeyRecord key;
        LogonUserRecord user;
        Lumo_Group group;
        if (man.type == kDecryptManUser && store.GetUserRecordByNumber(key, user, man.id)) {
            std::printf("%s\n", MessageText(msg::cli::ShareUser, man.id, user.userId).c_str());
        } else if (man.type == kDecryptManGroup && store.ReadGroup(man.id, group)) {
            std::printf("%s\n", MessageText(msg::cli::ShareGroup, man.id, group.name).c_str());
        } else if (man.type == kDecryptManDirectoryGroup) {
            std::printf("%s\n", MessageText(msg::cli::ShareDirectoryGroup, man.name).c_str());
        }
    }
}

int RunShare(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage(MessageText(msg::cli::ShareNeedsSub));
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (pos[0] == "grant") {
        if (pos.size() < 3) return Usage(MessageText(msg::cli::ShareGrantArgs));
        if (!session.Open()) return kExitFailed;
        std::vector<DecryptMan> entries;
        for (size_t i = 2; i < pos.size(); ++i) {
            if (pos[i].size() > 1 && pos[i][0] == '@') {
                // A group the store does not hold is the directory's, when the directory holds it
                // now; kept by name and read each time the share is encrypted for.
                const std::string name = pos[i].substr(1);
                int32_t group = store.FindGroup(name);
                std::string error;
                const int held = group == 0 && HaveDirectory(store) ? DirectoryHoldsGroup(store, name, error) : 0;
                if (group != 0)
                    entries.push_back({kDecryptManGroup, group});
                else if (held == 1)
                    entries.push_back({kDecryptManDirectoryGroup, 0, LogonTrim(name)});
                else if (held < 0)
                    return CliFail(error);
                else
                    return CliFail(MessageText(msg::cli::NoGroupNamed, name));
            } else {
                LogonKeyRecord key;
                LogonUserRecord user;
                if (!store.GetUserRecords(key, user, pos[i])) return CliFail(MessageText(msg::cli::NoSuchUser, pos[i]));
                entries.push_back({kDecryptManUser, user.number});
            }
        }
        if (!store.GrantShare(AbsoluteFolder(pos[1]), entries)) return CliFail(store.LastError());
        if (!cli.options.quiet) {
            std::string who;
            for (size_t i = 2; i < pos.size(); ++i) who += " " + pos[i];
            std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::GrantedTo, AbsoluteFolder(pos[1]), who).c_str());
        }
        return kExitOk;
    }
    if (pos[0] == "list") {
        if (pos.size() > 2) return Usage(MessageText(msg::cli::ShareListArgs));
        if (!session.Open()) return kExitFailed;
        if (pos.size() == 2) {
            Insure_Decrypt_Men share;
            if (!store.ReadDecryptMen({}, AbsoluteFolder(pos[1]), share)) {
                return CliFail(MessageText(msg::cli::NoDecryptors, AbsoluteFolder(pos[1])));
            }
            PrintShare(store, share);
            return kExitOk;
        }
        std::vector<Insure_Decrypt_Men> shares;
        if (!store.ListShares(shares)) return CliFail(store.LastError());
        for (const auto& share : shares) PrintShare(store, share);
        return kExitOk;
    }
    return Usage(UnknownSubCommandText("share", pos[0]));
}

}  // namespace

VARNEX_COMMAND("share", "grant PATH (USER|@GROUP)... | list [PATH]", msg::cli_help::Share, RunShare, {},
               {{"grant", "PATH (USER|@GROUP)...", msg::cli_help::ShareGrant, msg::cli_help::ShareGrantHelp},
                {"list", "[PATH]", msg::cli_help::ShareList, {}}});
