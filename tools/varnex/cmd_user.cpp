// varnex user add|list|remove|passwd: the registered users of the logon store.

#include <cstdio>

#include "Session.h"

namespace {

constexpr const char* kUsage =
    "add ID [--name NAME] [--email ADDR] [--device DIR] | import ID FILE.p12 | list | remove ID [--force] | "
    "passwd [ID]";

int Usage(const std::string& text) { return UsageError(*FindCommand("user"), text); }

int AddUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 2) return Usage("user add takes one user ID");
    const std::string& id = parsed.Positionals()[1];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    SecretText password;
    if (!ReadNewPassword(cli, "'" + id + "'", password)) return kExitFailed;
    int32_t number = session.Store().AddUser(id, parsed.Value("--name", id), parsed.Value("--email"), password.view(),
                                             parsed.Value("--device"));
    if (number == 0) return CliFail(session.Store().LastError());
    std::printf("user %s added as number %d\n", id.c_str(), number);
    return kExitOk;
}

// A user whose key and certificate were made elsewhere: the file's password first, then the
// new logon password.
int ImportUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 3) return Usage("user import takes a user ID and a PKCS#12 file");
    for (const char* option : {"--name", "--email", "--device"}) {
        if (!parsed.Value(option).empty()) return Usage(std::string(option) + " is not for user import");
    }
    const std::string& id = parsed.Positionals()[1];
    const std::string& file = parsed.Positionals()[2];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    SecretText filePassword, password;
    if (!ReadFilePassword(cli, file, filePassword) || !ReadNewPassword(cli, "'" + id + "'", password))
        return kExitFailed;
    int32_t number = session.Store().ImportUser(id, file, filePassword.view(), password.view());
    if (number == 0) return CliFail(session.Store().LastError());
    std::printf("user %s imported as number %d\n", id.c_str(), number);
    return kExitOk;
}

int ListUsers(CliContext& cli) {
    CliSession session(cli);
    std::vector<LogonUserInfo> users;
    if (!session.Open()) return kExitFailed;
    if (!session.Store().ListUsers(users)) return CliFail(session.Store().LastError());
    for (const LogonUserInfo& user : users) {
        const LogonUserRecord& r = user.record;
        std::string key = r.type == kLogonKeyDevice ? "key device " + user.device : "software key";
        std::printf("%4d  %-20s %-40s %s\n", r.number, r.userId.c_str(), KeyTextOf(r.name, r.email).c_str(),
                    key.c_str());
    }
    return kExitOk;
}

// Removing a user destroys the key that opens every package made for that user: it takes
// the user's password, or --force.
int RemoveUser(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() != 2) return Usage("user remove takes one user ID");
    const std::string& id = parsed.Positionals()[1];
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    LogonKeyRecord key;
    LogonUserRecord user;
    if (!session.Store().GetUserRecords(key, user, id)) return CliFail("no user '" + id + "' in this store");
    if (!parsed.Has("--force") && !ProveUserPassword(cli, session.Store(), user.userId)) return kExitFailed;
    std::string leftBehind;
    if (!session.Store().RemoveUser(id, &leftBehind)) return CliFail(session.Store().LastError());
    std::printf("user %s removed\n", user.userId.c_str());
    if (!leftBehind.empty()) CliFail(leftBehind);
    return kExitOk;
}

int ChangePassword(CliContext& cli, const ArgParser& parsed) {
    if (parsed.Positionals().size() > 2) return Usage("user passwd takes at most one user ID");
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    std::string id = parsed.Positionals().size() == 2 ? parsed.Positionals()[1] : cli.options.user;
    if (id.empty() && !session.Store().DefaultUser(id)) return CliFail(session.Store().LastError());
    // The old password is proven before a new one is asked for.
    SecretText oldPassword, newPassword;
    bool ok = ProveUserPassword(cli, session.Store(), id, &oldPassword) &&
              ReadNewPassword(cli, "'" + id + "'", newPassword) &&
              session.Store().ChangePassword(id, oldPassword.view(), newPassword.view());
    if (!ok) return session.Store().LastError().empty() ? kExitFailed : CliFail(session.Store().LastError());
    std::printf("password of %s changed\n", id.c_str());
    return kExitOk;
}

int RunUser(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--force"}, {"--name", "--email", "--device"});
    if (!parsed.Ok()) return Usage(parsed.Error());
    if (parsed.Positionals().empty()) return Usage("user needs add, import, list, remove or passwd");
    const std::string& sub = parsed.Positionals()[0];
    if (sub == "add") return AddUser(cli, parsed);
    if (sub == "import") return ImportUser(cli, parsed);
    if (sub == "list") return parsed.Positionals().size() == 1 ? ListUsers(cli) : Usage("user list takes no arguments");
    if (sub == "remove") return RemoveUser(cli, parsed);
    if (sub == "passwd") return ChangePassword(cli, parsed);
    return Usage("unknown user command '" + sub + "'");
}

}  // namespace

VARNEX_COMMAND("user", kUsage, "registered users: key pairs, certificates, passwords", RunUser, {},
               {{"add", "ID [--name NAME] [--email ADDR] [--device DIR]",
                 "register a user with a new RSA key pair and a certificate",
                 "The password comes from --new-password-file (its first line, spaces included) or is\n"
                 "asked twice on the terminal; the private key is stored encrypted under it.\n\n"
                 "  --name NAME   the holder's name in the certificate (default: ID)\n"
                 "  --email ADDR  the holder's mail address in the certificate\n"
                 "  --device DIR  keep the private key in the key-device folder DIR instead of the store;\n"
                 "                the user can then sign and decrypt only while DIR is present\n"},
                {"import", "ID FILE.p12", "register a user with a key and certificate made elsewhere (PKCS#12)",
                 "The file's password comes from --password-file or is asked; the new logon password from\n"
                 "--new-password-file or is asked twice. The key is stored encrypted under the new password,\n"
                 "as the keys of added users are. The user's name and address are the certificate's (CN,\n"
                 "e-mail); a CA certificate, one not valid now or one not for e-mail protection is refused.\n"},
                {"list", "", "the registered users: number, ID, name<mail>, where the private key is kept", ""},
                {"remove", "ID [--force]", "remove a user with its private key and certificate",
                 "Packages made for the user can no longer be opened afterwards. A key-device user's key\n"
                 "file is erased from the device; a device that is not present is named, with the file\n"
                 "that still opens with the user's password there. The user's password is\n"
                 "asked (or read from --password-file, $VARNEX_PASSWORD) to confirm.\n\n"
                 "  --force  remove without the password\n"},
                {"passwd", "[ID]", "change a user's password",
                 "ID defaults to --user, else the store's only user. The old password comes from\n"
                 "--password-file ($VARNEX_PASSWORD) or the terminal, the new one from --new-password-file\n"
                 "or is asked twice; the private key is encrypted again under the new one.\n"}});
