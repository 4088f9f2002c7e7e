// varnex envelope: one envelope package of files and folder trees for the logged-on user and
// further registered users, signed by the logged-on user.

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "DirectoryCli.h"
#include "PackageSources.h"
#include "RecipientAddresses.h"
#include "RecipientTrust.h"
#include "Session.h"
#include "StandardStreams.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/ILogon.h"
#include "password/PasswordPackager.h"
#include "platform/PrintableText.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitIds(const std::string& list) {
    std::vector<std::string> ids;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string id = LogonTrim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!id.empty()) ids.push_back(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ids;
}

int RunEnvelope(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("envelope");
    ArgParser parsed(args, {"--force"}, {"-o", "--output", "--to", "--base", "--cipher"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    std::string output = parsed.Value("-o", parsed.Value("--output"));
    if (output.empty()) return UsageError(self, MessageText(msg::cli::PackageMissing));
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingToEncrypt));
    // "-": the package goes to standard output, made first in the user's own temporary folder.
    const bool toStdout = output == "-";
    if (toStdout && isatty(STDOUT_FILENO)) return UsageError(self, MessageText(msg::cli::StdoutIsTerminal));
    CliSession session(cli);
    if (toStdout && (!session.Open() || !StdoutPackageName(output))) return kExitFailed;

    EnvelopePackRequest request;
    request.recipients = SplitIds(parsed.Value("--to"));
    // Without --to the package is the user's own; a --to that names nobody is a slip, not that.
    if (const std::string to = parsed.Value("--to"); !to.empty() && request.recipients.empty())
        return UsageError(self, MessageText(msg::cli::ToNamesNobody, EscapeText(to)));
    PackageSources sources;
    if (int exit = ReadPackageSources(self, parsed, output, sources); exit >= 0) return exit;
    TakeSources(sources, request);

    // The key signs the package at its end.
    if (!session.LogOn()) return kExitFailed;
    UsersForAddresses(session.Store(), request.recipients);
    if (!ResolveCliRecipients(cli, session.Store(), request.recipients)) return kExitFailed;
    if (!RecipientsUsableOrSay(session.Store(), request.recipients, true)) return kExitFailed;
    CKorvane engine;
    request.replace = parsed.Has("--force");
    // Messages name the package they are about.
    cli.host->SetSubject(toStdout ? MessageText(msg::cli::StandardOutputSubject) : output);
    int result = PackEnvelope(engine, request);
    cli.host->SetSubject({});
    if (result == 1 && toStdout) return CopyToStdout(request.packagePath);
    // What was written is printed whatever --quiet says, as pack does.
    if (result == 1) std::printf("%s\n", EscapeText(output).c_str());
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("envelope", "-o PACKAGE --to ID[,ID...] [--base DIR] [--cipher ID] [--force] PATH...",
               msg::cli_help::Envelope, RunEnvelope, msg::cli_help::EnvelopeHelp);
