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
        std::printf("  %s\n", MessageText(msg::cli_demo::UserLine, user.record.number, user.record.userId,
                                          KeyTextOf(user.record.name, user.record.email),
                                          MessageText(user.record.type == kLogonKeyDevice ? msg::cli_demo::KeyOnDevice
                                                                                          : msg::cli_demo::KeyInStore))
                                  .c_str());
    }
    // A session key wrapped for Alice opens with her password only.
    unsigned char key[24], wrapped[kLogonWrapOutRoom], back[kLogonWrapOutRoom];
    for (size_t i = 0; i < sizeof key; ++i) key[i] = static_cast<unsigned char>(i);
    int w = store.WrapSessionKey(sizeof key, key, wrapped, alice);
    int wrong = store.UnwrapSessionKey(w, wrapped, back, "alice", "alice", 2, "bob-pw", 6);
    int right = store.UnwrapSessionKey(w, wrapped, back, "alice", "alice", 2, "alice-pw", 8);
    std::printf("  %s\n", MessageText(msg::cli_demo::SessionKey, w,
                                      MessageText(wrong > 0 ? msg::cli_demo::Yes : msg::cli_demo::No),
                                      MessageText(right == 24 && std::memcmp(back, key, 24) == 0 ? msg::cli_demo::Yes
                                                                                                 : msg::cli_demo::No))
                              .c_str());
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
    std::printf("  %s", MessageText(msg::cli_demo::GroupNumbers, group.id, group.name).c_str());
    for (int32_t member : group.members) std::printf(" %d", member);
    Insure_Decrypt_Men men;
    store.ReadDecryptMen("alice", shared + "/", men);
    std::printf("\n  %s", MessageText(msg::cli_demo::MayBeOpenedBy, men.path).c_str());
    for (const DecryptMan& man : men.entries)
        std::printf(" %s %d",
                    MessageText(man.type == kDecryptManUser ? msg::cli_demo::User : msg::cli_demo::Group).c_str(),
                    man.id);
    std::printf("\n");
    return men.entries.size() == 2;
}

}  // namespace

VARNEX_DEMO_STEP(20, msg::cli_demo::TitleUsers, MakeUsers);
VARNEX_DEMO_STEP(21, msg::cli_demo::TitleGroupShare, MakeGroupAndShare);
