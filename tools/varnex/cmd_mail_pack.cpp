// varnex mail-pack: files packed into one mail package for recipients, encrypted, signed or
// both; prints the package's path.

#include <cstdio>
#include <filesystem>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "RecipientTrust.h"
#include "Session.h"
#include "logon/ILogon.h"
#include "mail/MailPackStep.h"
#include "platform/PrintableText.h"
#include "platform/Window.h"
#include "shell/Messages.h"

namespace {

namespace fs = std::filesystem;

// "a,b" -> the certificate names, as the logon library reads a list.
std::vector<std::string> RecipientNames(const std::string& commaList) {
    std::string list = commaList;
    for (char& c : list)
        if (c == ',') c = ';';
    std::vector<std::string> names;
    for (int i = 1; i <= CountLogonListItems(list); ++i) {
        std::string name;
        LogonListItem(list, i, name);
        names.push_back(name);
    }
    return names;
}

int RunMailPack(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("mail-pack");
    ArgParser parsed(args, {"--encrypt", "--sign", "--send"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    const bool encrypt = parsed.Has("--encrypt"), sign = parsed.Has("--sign");
    if (!encrypt && !sign) return UsageError(self, MessageText(msg::cli::MailChooseKind));
    const std::string to = parsed.Value("--to");
    if (to.empty()) return UsageError(self, MessageText(msg::cli::MailRecipientsMissing));
    // "--to ," would make a package nobody can open.
    const std::vector<std::string> recipients = RecipientNames(to);
    if (recipients.empty()) return UsageError(self, MessageText(msg::cli::ToNamesNobody, EscapeText(to)));
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoFileToPack));

    MailPackRequest request;
    for (const std::string& p : parsed.Positionals()) {
        std::string path = fs::absolute(p).lexically_normal().string();
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                         MessageText(msg::shell::FileMissing).c_str());
            return kExitFailed;
        }
        switch (CheckMailFile(path)) {
            case MailFileProblem::kNone:
                break;
            case MailFileProblem::kNotAFile:
                std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::MailNotAFile, EscapeText(p)).c_str());
                return kExitFailed;
            case MailFileProblem::kPathTooLong:
                std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                             MessageText(msg::cli::PathTooLong, kMaxPath - 1).c_str());
                return kExitFailed;
            case MailFileProblem::kBackslashInName:
                std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::MailBackslash, EscapeText(p)).c_str());
                return kExitFailed;
        }
        request.files.push_back(path);
    }

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    session.Store().GetSignerName(session.UserId(), request.signer);
    request.recipients = recipients;
    // Names the store does not know are looked up in the directory, once confirmed.
    if (!ResolveCliRecipients(cli, session.Store(), request.recipients)) return kExitFailed;
    // Encrypting for a name the store does not know is refused by the engine in its own words.
    if (encrypt && !RecipientsUsableOrSay(session.Store(), request.recipients, false)) return kExitFailed;
    request.encrypt = encrypt;
    request.sign = sign;
    std::string mailFile;
    const int result = PackMailFiles(request, mailFile);
    if (result != 1) return ExitForResult(result);
    std::printf("%s\n", mailFile.c_str());
    std::fflush(stdout);
    return parsed.Has("--send") ? ExitForResult(HandOffMail(mailFile, request.recipients)) : kExitOk;
}

}  // namespace

VARNEX_COMMAND("mail-pack", "(--encrypt | --sign | --encrypt --sign) --to NAME[,NAME...] [--send] FILE...",
               msg::cli_help::MailPack, RunMailPack, msg::cli_help::MailPackHelp);
