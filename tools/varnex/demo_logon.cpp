// Demo steps of the logon store: users with their keys, a group, a shared folder.
// The tour's suite folder keeps what these steps make: users "alice" (password
// "alice-pw") and "bob" (key device in <tour>/token, password "bob-pw"), group "team"
// and the share <tour>/shared, for the steps that follow.

#include <cstdio>
#include <cstring>

#include "Demo.h"
#include "logon/LogonStore.h"

namespace {

bool MakeUsers(DemoContext& demo) {
    LogonStore store;
    if (!store.Open(demo.home)) {
        std::printf("  %s\n", store.LastError().c_str());
        return false;
    }
    int32_t alice = store.AddUser("alice", "Alice", "alice@example.org", "alice-pw");
    int32_t bob = store.AddUser("bob", "Bob", "bob@example.org", "bob-pw", demo.folder + "/token");
    if (alice == 0 || bob == 0) {
        std::printf("  %s\n", store.LastError().c_str());
        return false;
    }
    std::vector<LogonUserInfo> users;
    store.ListUsers(users);
    for (const LogonUserInfo& user : users) {
        std::printf("  user %d %-6s %-28s %s\n", user.record.number, user.record.userId.c_str(),
                    KeyTextOf(user.record.name, user.record.email).c_str(),
                    user.record.type == kLogonKeyDevice ? "key on a key device" : "key in the store, encrypted");
    }
    // A session key wrapped for Alice opens with her password only.
    unsigned char key[24], wrapped[kLogonWrapOutRoom], back[kLogonWrapOutRoom];
    for (size_t i = 0; i < sizeof key; ++i) key[i] = static_cast<unsigned char>(i);
    int w = store.WrapSessionKey(sizeof key, key, wrapped, alice);
    int wrong = store.UnwrapSessionKey(w, wrapped, back, "alice", "alice", 2, "bob-pw", 6);
    int right = store.UnwrapSessionKey(w, wrapped, back, "alice", "alice", 2, "alice-pw", 8);
    std::printf(
        "  a 24-byte session key wrapped for alice: %d bytes; opened with bob's password: %s; with "
        "alice's: %s\n",
        w, wrong > 0 ? "yes" : "no", right == 24 && std::memcmp(back, key, 24) == 0 ? "yes" : "no");
    return w > 0 && wrong <= 0 && right == 24;
}

bool MakeGroupAndShare(DemoContext& demo) {
    LogonStore store;
    if (!store.Open(demo.home)) return false;
    int32_t team = store.AddGroup("team");
    std::string shared = demo.folder + "/shared";
    LogonKeyRecord key;
    LogonUserRecord alice;
    bool ok = team != 0 && store.AddGroupMembers("team", {"alice", "bob"}) &&
              store.GetUserRecords(key, alice, "alice") &&
              store.GrantShare(shared, {{kDecryptManUser, alice.number}, {kDecryptManGroup, team}});
    if (!ok) {
        std::printf("  %s\n", store.LastError().c_str());
        return false;
    }
    Lumo_Group group;
    store.ReadGroup(team, group);
    std::printf("  group %d \"%s\": user numbers", group.id, group.name.c_str());
    for (int32_t member : group.members) std::printf(" %d", member);
    Insure_Decrypt_Men men;
    store.ReadDecryptMen("alice", shared + "/", men);
    std::printf("\n  %s may be opened by:", men.path.c_str());
    for (const DecryptMan& man : men.entries)
        std::printf(" %s %d", man.type == kDecryptManUser ? "user" : "group", man.id);
    std::printf("\n");
    return men.entries.size() == 2;
}

}  // namespace

VARNEX_DEMO_STEP(20, "The logon store: two users with their keys", MakeUsers);
VARNEX_DEMO_STEP(21, "A group and a shared folder resolve to user numbers", MakeGroupAndShare);
