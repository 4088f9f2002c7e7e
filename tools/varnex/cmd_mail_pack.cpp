// varnex mail-pack: files packed into one mail package for recipients, encrypted, signed or
// both; prints the package's path.

#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "Session.h"
#include "logon/ILogon.h"
#include "mail/IMapi.h"
#include "mail/MailEncrypt.h"

namespace {

namespace fs = std::filesystem;

// "a,b" -> "a;b": the logon library's list form.
std::string RecipientList(const std::string& commaList) {
    std::string list = commaList;
    for (char& c : list)
        if (c == ',') c = ';';
    return list;
}

// Hands the package to the mail program, the recipients as To: the e-mail address their
// installed certificate holds, else their name.
int SendPackage(const std::string& package, const std::string& recipients) {
    std::vector<std::string> to;
    CPubCertFile certs;
    certs.OpenFile();
    for (int i = 1; i <= CountLogonListItems(recipients); ++i) {
        std::string name;
        LogonListItem(recipients, i, name);
        Lumo_PubCert cert;
        for (int more = certs.ReadFirstRec(cert); more; more = certs.ReadNextRec(cert)) {
            if (LogonEqualNoCase(cert.name, name)) {
                if (!cert.email.empty()) name = cert.email;
                break;
            }
        }
        to.push_back(name);
    }
    certs.CloseFile();
    CIMapi mail;
    if (!mail.LoadLibraryA()) return kExitFailed;  // the reason has been shown
    const std::string name = fs::path(package).filename().string();
    mail.Subject(name.c_str());
    for (const std::string& address : to) mail.To(address.c_str());
    mail.Attach(package.c_str(), name.c_str());
    return ExitForResult(mail.Send());
}

int RunMailPack(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("mail-pack");
    ArgParser parsed(args, {"--encrypt", "--sign", "--send"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    const bool encrypt = parsed.Has("--encrypt"), sign = parsed.Has("--sign");
    if (!encrypt && !sign) return UsageError(self, MessageText(msg::cli::MailChooseKind));
    const std::string to = parsed.Value("--to");
    if (to.empty()) return UsageError(self, MessageText(msg::cli::MailRecipientsMissing));
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoFileToPack));

    std::string files;
    for (const std::string& p : parsed.Positionals()) {
        std::string path = fs::absolute(p).lexically_normal().string();
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::MailNotAFile, p).c_str());
            return kExitFailed;
        }
        if (path.size() >= static_cast<size_t>(kMaxPath)) {
            std::fprintf(stderr, "varnex: %s: %s\n", p.c_str(),
                         MessageText(msg::cli::PathTooLong, kMaxPath - 1).c_str());
            return kExitFailed;
        }
        if (!IsMailFileName(fs::path(path).filename().string())) {
            std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::MailBackslash, p).c_str());
            return kExitFailed;
        }
        files += path;
        files += '\0';
    }
    files += '\0';

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    std::string signer;
    session.Store().GetSignerName(session.UserId(), signer);
    std::vector<std::string> names;
    for (size_t start = 0; start <= to.size();) {
        size_t comma = to.find(',', start);
        std::string name = LogonTrim(to.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!name.empty()) names.push_back(name);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (!ResolveCliRecipients(cli, session.Store(), names)) return kExitFailed;
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
    std::string recipients = RecipientList(joined);

    auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
    std::memset(arg.get(), 0, sizeof *arg);
    arg->nMailType = kMailTypePublicKey;
    arg->nMailFlag = (encrypt ? kMailFlagEncrypt : 0) | (sign ? kMailFlagSign : 0);
    arg->pszFiles = files.data();
    arg->pszRecipients = recipients.data();
    std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", signer.c_str());
    CMailEncrypt engine;
    int result = engine.EncryptMail(arg.get());
    OPENSSL_cleanse(arg->Key, sizeof arg->Key);
    OPENSSL_cleanse(arg->IV, sizeof arg->IV);
    if (result != 1) return ExitForResult(result);
    std::printf("%s\n", arg->szMailFile);
    std::fflush(stdout);
    return parsed.Has("--send") ? SendPackage(arg->szMailFile, recipients) : kExitOk;
}

}  // namespace

VARNEX_COMMAND("mail-pack", "[--encrypt] [--sign] --to NAME[,NAME...] [--send] FILE...", msg::cli_help::MailPack,
               RunMailPack, msg::cli_help::MailPackHelp);
