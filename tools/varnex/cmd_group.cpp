// varnex group add|member|list: user groups.

#include <cstdio>

#include "Session.h"

namespace {

int Usage(const std::string& text) { return UsageError(*FindCommand("group"), text); }

int RunGroup(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {}, {});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage("group needs add, member or list");
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (pos[0] == "add") {
        if (pos.size() != 2) return Usage("group add takes one name");
        if (!session.Open()) return kExitFailed;
        int32_t id = store.AddGroup(pos[1]);
        if (id == 0) return CliFail(store.LastError());
        std::printf("group %s added as number %d\n", pos[1].c_str(), id);
        return kExitOk;
    }
    if (pos[0] == "member") {
        if (pos.size() < 3) return Usage("group member takes a group name and at least one user ID");
        if (!session.Open()) return kExitFailed;
        if (!store.AddGroupMembers(pos[1], {pos.begin() + 2, pos.end()})) return CliFail(store.LastError());
        if (!cli.options.quiet) {
            std::string users;
            for (size_t i = 2; i < pos.size(); ++i) users += " " + pos[i];
            std::fprintf(stderr, "varnex: group %s: added%s\n", pos[1].c_str(), users.c_str());
        }
        return kExitOk;
    }
    if (pos[0] == "list") {
        if (pos.size() != 1) return Usage("group list takes no arguments");
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
    return Usage("unknown group command '" + pos[0] + "'");
}

}  // namespace

VARNEX_COMMAND("group", "add NAME | member NAME USER... | list", "user groups", RunGroup, {},
               {{"add", "NAME", "make an empty group (a name without '@', ';' or blanks at its ends)", ""},
                {"member", "NAME USER...", "add registered users to a group",
                 "Each USER is a user ID of this store; a user already in the group stays once.\n"},
                {"list", "", "the groups with their members", ""}});
