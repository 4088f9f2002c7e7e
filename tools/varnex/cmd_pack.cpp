// varnex pack: a password package of files and folder trees.

#include <fcntl.h>
#include <openssl/crypto.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "PackageSources.h"
#include "Session.h"
#include "StandardStreams.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "password/PackageListing.h"
#include "password/PasswordDialog.h"
#include "password/PasswordPackager.h"
#include "platform/OutputFolder.h"
#include "platform/PrintableText.h"
#include "platform/TempFolder.h"
#include "platform/TerminalHost.h"

namespace {

namespace fs = std::filesystem;

// One line for the finished package (files, bytes, time) and, with --verbose, each packed
// path; both to standard error, read back from the package itself.
void PrintSummary(const CliContext& cli, CKorvane& engine, const std::string& package,
                  std::chrono::steady_clock::time_point started) {
    if (cli.options.quiet && !cli.options.verbose) return;
    std::vector<PackageEntry> entries;
    if (!ListPackage(engine, package, entries)) return;
    size_t files = 0;
    uint64_t bytes = 0;
    for (const PackageEntry& e : entries) {
        if (cli.options.verbose) std::fprintf(stderr, "%s\n", EscapeText(e.path).c_str());
        if (e.folder) continue;
        ++files;
        bytes += static_cast<uint64_t>(e.size);
    }
    if (cli.options.quiet) return;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(
        stderr, "varnex: %s\n",
        MessageText(files == 1 ? msg::cli::PackedOne : msg::cli::PackedMany, files, ByteCount(bytes), seconds).c_str());
}

int RunPack(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("pack");
    ArgParser parsed(args, {"--force"}, {"-o", "--output", "--base", "--cipher"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (!parsed.Value("-o").empty() && !parsed.Value("--output").empty())
        return UsageError(self, MessageText(msg::cli::PackageNamedTwice));
    std::string output = parsed.Value("-o", parsed.Value("--output"));
    if (output.empty()) return UsageError(self, MessageText(msg::cli::PackageMissing));
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingToPack));
    // "-": the package goes to standard output, made first in the user's own temporary folder.
    const bool toStdout = output == "-";
    if (toStdout && isatty(STDOUT_FILENO)) return UsageError(self, MessageText(msg::cli::StdoutIsTerminal));

    CliSession session(cli);
    if (toStdout) {
        if (!session.Open() || !StdoutPackageName(output)) return kExitFailed;
    }

    PasswordPackRequest request;
    PackageSources sources;
    if (int exit = ReadPackageSources(self, parsed, output, sources); exit >= 0) return exit;
    TakeSources(sources, request);

    if (!session.Open()) return kExitFailed;
    CKorvane engine;
    if (!cli.options.newPasswordFile.empty()) {
        if (!ReadNewPassword(cli, MessageText(msg::cli::ThePackage), request.password)) return kExitFailed;
        if (CharacterCount(request.password.view()) < kMinPasswordChars)
            return CliFail(MessageText(msg::cli::PasswordTooShort));
    } else {
        if (!isatty(STDIN_FILENO) && cli.options.answers.empty()) {
            std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::NoTerminalNewPassword).c_str());
            return kExitFailed;
        }
        char password[996] = {};
        if (!engine.GetPasswd(password)) return kExitFailed;
        request.password = std::string_view(password);
        OPENSSL_cleanse(password, sizeof password);
    }
    request.replace = parsed.Has("--force");
    if (cli.terminal) cli.terminal->SetJobBytes(SourceBytes(request.paths));
    auto started = std::chrono::steady_clock::now();
    cli.host->SetSubject(toStdout ? MessageText(msg::cli::StandardOutputSubject) : output);
    int result = PackWithPassword(engine, request);
    request.password.clear();
    if (result == 1) {
        if (!toStdout) std::printf("%s\n", EscapeText(output).c_str());
        PrintSummary(cli, engine, request.packagePath, started);
    }
    cli.host->SetSubject({});
    if (result == 1 && toStdout) return CopyToStdout(request.packagePath);
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("pack", "-o PACKAGE [--base DIR] [--cipher ID] [--force] PATH...", msg::cli_help::Pack, RunPack,
               msg::cli_help::PackHelp);
