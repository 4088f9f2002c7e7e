// varnex group add|member|list: user groups.

#include <algorithm>
#include <cstdio>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "logon/ILogon.h"
#include "platform/PrintableText.h"

namespace {

int Usage(const std::string& text) { return UsageError(*FindCommand("group"), text); }

int RunGroup(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage(MessageText(msg::cli::GroupNeedsSub));
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (pos[0] == "add") {
        if (pos.size() != 2) return Usage(MessageText(msg::cli::GroupAddArgs));
        if (!session.Open()) return kExitFailed;
        int32_t id = store.AddGroup(pos[1]);
        if (id == 0) return CliFail(store.LastError());
        std::printf("%s\n", MessageText(msg::cli::GroupAdded, pos[1], id).c_str());
        return kExitOk;
    }
    if (pos[0] == "member") {
        if (pos.size() < 3) return Usage(MessageText(msg::cli::GroupMemberArgs));
        if (!session.Open()) return kExitFailed;
        // A user named twice (user IDs ignore case) is added and said once.
        std::vector<std::string> members;
        for (size_t i = 2; i < pos.size(); ++i) {
            auto same = [&](const std::string& m) { return LogonEqualNoCase(m, pos[i]); };
            if (std::none_of(members.begin(), members.end(), same)) members.push_back(pos[i]);
        }
        // Who is a member already is said so, not said to be added.
        std::vector<int32_t> present;
        std::vector<Lumo_Group> groups;
        if (store.ListGroups(groups))
            for (const Lumo_Group& group : groups)
                if (LogonEqualNoCase(group.name, pos[1])) present = group.members;
        std::string added, already;
        for (const std::string& member : members) {
            LogonKeyRecord key;
            LogonUserRecord user;
            const bool isMember = store.GetUserRecords(key, user, member) &&
                                  std::find(present.begin(), present.end(), user.number) != present.end();
            (isMember ? already : added) += " " + EscapeText(member);
        }
        if (!store.AddGroupMembers(pos[1], members)) return CliFail(store.LastError());
        if (!cli.options.quiet) {
            if (!added.empty())
                std::fprintf(stderr, "varnex: %s\n",
                             MessageText(msg::cli::GroupMembersAdded, EscapeText(pos[1]), added).c_str());
            if (!already.empty())
                std::fprintf(stderr, "varnex: %s\n",
                             MessageText(msg::cli::GroupMembersAlready, EscapeText(pos[1]), already).c_str());
        }
        return kExitOk;
    }
    if (pos[0] == "list") {
        if (pos.size() != 1) return Usage(MessageText(msg::cli::NoArguments, "group list"));
        std::vector<Lumo_Group> groups;
        if (!session.Open()) return kExitFailed;
        if (!store.ListGroups(groups)) return CliFail(store.LastError());
        for (const Lumo_Group& group : groups) {
            std::printf("%4d  %-20s", group.id, group.name.c_str());
            for (int32_t member : group.members) {
                LogonKeyRecord key;
                LogonUserRecord user;
                std::printf(" %s", store.GetUserRecordByNumber(key, user, member) ? user.userId.c_str() : "?");
            }
            std::printf("\n");
        }
        return kExitOk;
    }
    return Usage(UnknownSubCommandText("group", pos[0]));
}

}  // namespace

VARNEX_COMMAND("group", "add NAME | member NAME USER... | list", msg::cli_help::Group, RunGroup, {},
               {{"add", "NAME", msg::cli_help::GroupAdd, {}},
                {"member", "NAME USER...", msg::cli_help::GroupMember, msg::cli_help::GroupMemberHelp},
                {"list", "", msg::cli_help::GroupList, {}}});
