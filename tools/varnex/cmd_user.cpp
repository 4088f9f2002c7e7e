// varnex user add|list|remove|passwd: the registered users of the logon store.

#include <cstdio>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"

namespace {

constexpr const char* kUsage =
    "add ID [--name NAME] [--email ADDR] [--device DIR] | import ID FILE.p12 | list | remove ID [--force] | "
    "passwd [ID]";

int Usage(const std::string& text) { return UsageError(*FindCommand("user"), text); }

int AddUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 2) return Usage(MessageText(msg::cli::UserAddArgs));
    const std::string& id = parsed.Positionals()[1];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    SecretText password;
    if (!ReadNewPassword(cli, MessageText(msg::cli::QuotedUser, id), password)) return kExitFailed;
    int32_t number = session.Store().AddUser(id, parsed.Value("--name", id), parsed.Value("--email"), password.view(),
                                             parsed.Value("--device"));
    if (number == 0) return CliFail(session.Store().LastError());
    std::printf("%s\n", MessageText(msg::cli::UserAdded, id, number).c_str());
    return kExitOk;
}

// A user whose key and certificate were made elsewhere: the file's password first, then the
// new logon password.
int ImportUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 3) return Usage(MessageText(msg::cli::UserImportArgs));
    for (const char* option : {"--name", "--email", "--device"}) {
        if (!parsed.Value(option).empty()) return Usage(MessageText(msg::cli::NotForUserImport, option));
    }
    const std::string& id = parsed.Positionals()[1];
    const std::string& file = parsed.Positionals()[2];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    SecretText filePassword, password;
    if (!ReadFilePassword(cli, file, filePassword) ||
        !ReadNewPassword(cli, MessageText(msg::cli::QuotedUser, id), password))
        return kExitFailed;
    int32_t number = session.Store().ImportUser(id, file, filePassword.view(), password.view());
    if (number == 0) return CliFail(session.Store().LastError());
    std::printf("%s\n", MessageText(msg::cli::UserImported, id, number).c_str());
    return kExitOk;
}

int ListUsers(CliContext& cli) {
    CliSession session(cli);
    std::vector<LogonUserInfo> users;
    if (!session.Open()) return kExitFailed;
    if (!session.Store().ListUsers(users)) return CliFail(session.Store().LastError());
    for (const LogonUserInfo& user : users) {
        const LogonUserRecord& r = user.record;
        std::string key = r.type != kLogonKeyDevice ? MessageText(msg::cli::SoftwareKey)
                          : user.tokenLabel.empty() ? MessageText(msg::cli::KeyDevice, user.device)
                                                    : MessageText(msg::cli::KeyOnToken, user.tokenLabel, user.device);
        std::printf("%4d  %-20s %-40s %s\n", r.number, r.userId.c_str(), KeyTextOf(r.name, r.email).c_str(),
                    key.c_str());
    }
    return kExitOk;
}

// Removing a user destroys the key that opens every package made for that user: it takes
// the user's password, or --force.
int RemoveUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 2) return Usage(MessageText(msg::cli::UserRemoveArgs));
    const std::string& id = parsed.Positionals()[1];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    LogonKeyRecord key;
    LogonUserRecord user;
    if (!session.Store().GetUserRecords(key, user, id)) return CliFail(MessageText(msg::cli::NoSuchUser, id));
    if (!parsed.Has("--force") && !ProveUserPassword(cli, session.Store(), user.userId)) return kExitFailed;
    std::string leftBehind;
    if (!session.Store().RemoveUser(id, &leftBehind)) return CliFail(session.Store().LastError());
    std::printf("%s\n", MessageText(msg::cli::UserRemoved, user.userId).c_str());
    if (!leftBehind.empty()) CliFail(leftBehind);
    return kExitOk;
}

int ChangePassword(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() > 2) return Usage(MessageText(msg::cli::UserPasswdArgs));
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    std::string id = parsed.Positionals().size() == 2 ? parsed.Positionals()[1] : cli.options.user;
    if (id.empty() && !session.Store().DefaultUser(id)) return CliFail(session.Store().LastError());
    LogonKeyRecord key;
    LogonUserRecord user;
    if (!session.Store().GetUserRecords(key, user, id)) return CliFail(MessageText(msg::cli::NoSuchUser, id));
    // The old password is proven before a new one is asked for.
    SecretText oldPassword, newPassword;
    bool ok = ProveUserPassword(cli, session.Store(), id, &oldPassword) &&
              ReadNewPassword(cli, MessageText(msg::cli::QuotedUser, id), newPassword) &&
              session.Store().ChangePassword(id, oldPassword.view(), newPassword.view());
    if (!ok) return session.Store().LastError().empty() ? kExitFailed : CliFail(session.Store().LastError());
    std::printf("%s\n", MessageText(msg::cli::PasswordChanged, id).c_str());
    return kExitOk;
}

int RunUser(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--force"}, {"--name", "--email", "--device"});
    if (!parsed.Ok()) return Usage(parsed.Error());
    if (parsed.Positionals().empty()) return Usage(MessageText(msg::cli::UserNeedsSub));
    const std::string& sub = parsed.Positionals()[0];
    if (sub == "add") return AddUser(cli, parsed);
    if (sub == "import") return ImportUser(cli, parsed);
    if (sub == "list")
        return parsed.Positionals().size() == 1 ? ListUsers(cli)
                                                : Usage(MessageText(msg::cli::NoArguments, "user list"));
    if (sub == "remove") return RemoveUser(cli, parsed);
    if (sub == "passwd") return ChangePassword(cli, parsed);
    return Usage(UnknownSubCommandText("user", sub));
}

}  // namespace

VARNEX_COMMAND("user", kUsage, msg::cli_help::User, RunUser, {},
               {{"add", "ID [--name NAME] [--email ADDR] [--device DIR]", msg::cli_help::UserAdd,
                 msg::cli_help::UserAddHelp},
                {"import", "ID FILE.p12", msg::cli_help::UserImport, msg::cli_help::UserImportHelp},
                {"list", "", msg::cli_help::UserList, {}},
                {"remove", "ID [--force]", msg::cli_help::UserRemove, msg::cli_help::UserRemoveHelp},
                {"passwd", "[ID]", msg::cli_help::UserPasswd, msg::cli_help::UserPasswdHelp}});
