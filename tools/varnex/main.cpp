// varnex: the file- and mail-security engine from a terminal or a script.

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "NearestName.h"
#include "Session.h"
#include "logon/TokenKeyDevice.h"
#include "platform/ScriptedHost.h"
#include "platform/SecureMemory.h"
#include "platform/SignalCleanup.h"
#include "platform/TerminalHost.h"

namespace {

// A command list: a long usage line gets a line of its own, never running into its description.
void PrintCommandLine(const std::string& head, const MessageDef& summary) {
    if (head.size() > 40)
        std::printf("  %s\n  %-40s %s\n", head.c_str(), "", HelpText(summary).c_str());
    else
        std::printf("  %-40s %s\n", head.c_str(), HelpText(summary).c_str());
}

void PrintHelp() {
    std::printf("%s\n%s\n", MessageText(msg::cli_help::ProgramHelp).c_str(),
                MessageText(msg::cli_help::Commands).c_str());
    for (const Command& c : Commands()) PrintCommandLine(c.name + (c.usage.empty() ? "" : " " + c.usage), c.summary);
    std::printf("\n%s", MessageText(msg::cli_help::ProgramHelpEnd).c_str());
}

void PrintHelpText(const std::string& usage, const MessageDef& summaryEntry, const MessageDef& helpEntry) {
    const std::string help = HelpText(helpEntry);
    std::printf("%s\n\n%s\n", MessageText(msg::cli_help::Usage, usage).c_str(), HelpText(summaryEntry).c_str());
    if (!help.empty()) std::printf("\n%s", help.c_str());
    if (!help.empty() && help.back() != '\n') std::printf("\n");
}

// A command's help: its usage, summary and the explanation of each of its options; for a
// command with sub-commands, the one named among the arguments, else the list of them.
void PrintCommandHelp(const Command& command, const std::vector<std::string>& args) {
    auto named = std::find_if(args.begin(), args.end(), [](const std::string& a) { return a.empty() || a[0] != '-'; });
    for (const SubCommand& sub : command.subcommands) {
        if (named == args.end() || *named != sub.name) continue;
        PrintHelpText(command.name + " " + sub.name + (sub.usage.empty() ? "" : " " + sub.usage), sub.summary,
                      sub.help);
        return;
    }
    PrintHelpText(command.name + " " + command.usage, command.summary, command.help);
    if (command.subcommands.empty()) return;
    std::printf("\n%s\n", MessageText(msg::cli_help::Commands).c_str());
    for (const SubCommand& sub : command.subcommands)
        PrintCommandLine(command.name + " " + sub.name + (sub.usage.empty() ? "" : " " + sub.usage), sub.summary);
    std::printf("\n%s\n", MessageText(msg::cli_help::SubCommandHelp, command.name).c_str());
}

}  // namespace

namespace {

// Takes the global options out of `parsed` into `options`.
void TakeGlobals(const ArgParser& parsed, GlobalOptions& options) {
    auto take = [&](const char* name, std::string& into) {
        if (std::string v = parsed.Value(name); !v.empty()) into = v;
    };
    take("--home", options.home);
    take("--user", options.user);
    take("--password-file", options.passwordFile);
    take("--new-password-file", options.newPasswordFile);
    take("--package-password-file", options.packagePasswordFile);
    take("--answers", options.answers);
    take("--pin-file", options.pinFile);
    options.quiet = options.quiet || parsed.Has("--quiet");
    options.verbose = options.verbose || parsed.Has("--verbose");
}

// The reason an --answers list is not valid, or "" when it is: every kind must be one a
// question asks with, every word one that kind's question takes.
std::string CheckAnswers(const std::string& list) {
    static const std::map<std::string, std::vector<std::string>> kWords = {
        {"replace", {"yes", "all", "no", "none", "cancel"}},
        {"yes-no", {"yes", "no"}},
        {"retry", {"retry", "cancel", "abort", "ignore"}},
        {"folder", {}},
        {"file", {}},
        {"confirm", {}},  // a certificate's SHA-256 fingerprint
    };
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0) return MessageText(msg::cli::AnswerNotKindValue, item);
        std::string kind = item.substr(0, eq), word = item.substr(eq + 1);
        auto it = kWords.find(kind);
        if (it == kWords.end()) return MessageText(msg::cli::AnswerUnknownKind, kind);
        if (word.empty()) return MessageText(msg::cli::AnswerNoValue, kind);
        const auto& words = it->second;
        if (!words.empty() && std::find(words.begin(), words.end(), word) == words.end()) {
            std::string allowed;
            for (const std::string& w : words) allowed += (allowed.empty() ? "" : "|") + w;
            return MessageText(msg::cli::AnswerWrongWord, word, kind, allowed);
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return {};
}

// The list with every relative folder= and file= answer made absolute: a path typed in a
// script means a path from the current folder, not from the package's.
std::string AbsoluteAnswers(const std::string& list) {
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        size_t eq = item.find('=');
        std::string kind = item.substr(0, eq), value = item.substr(eq + 1);
        if ((kind == "folder" || kind == "file") && !value.empty() && value[0] != '/') {
            std::error_code ec;
            std::string absolute = std::filesystem::absolute(value, ec).lexically_normal().string();
            if (!ec) item = kind + "=" + absolute;
        }
        out += (out.empty() ? "" : ",") + item;
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

void PrintShortUsage(FILE* out) { std::fprintf(out, "%s", MessageText(msg::cli_help::ShortUsage).c_str()); }

}  // namespace

int main(int argc, char** argv) {
    // Before anything holds a secret: the secure heap must exist before its first use, and
    // the password in the environment must be gone before anything can be started.
    ProtectProcessSecrets();
    CliContext ctx;
    TakeEnvironmentPassword(ctx);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> valued = kGlobalValued;

    // Global options before the command, by the parser every command uses.
    std::vector<std::string> beforeFlags = kGlobalFlags;
    beforeFlags.insert(beforeFlags.end(), {"--help", "-h", "--version"});
    ArgParser before(args, beforeFlags, valued, ArgParser::kStopAtPositional);
    if (!before.Ok()) {
        std::fprintf(stderr, "varnex: %s\n", before.Error().c_str());
        PrintShortUsage(stderr);
        return kExitUsage;
    }
    TakeGlobals(before, ctx.options);
    if (before.Has("--version")) {
        std::printf("varnex %s\n", VARNEX_VERSION);
        return kExitOk;
    }
    std::vector<std::string> tail = before.Positionals();
    std::string commandName = tail.empty() ? std::string() : tail.front();
    if (before.Has("--help") || before.Has("-h") || commandName == "help") {
        PrintHelp();
        return kExitOk;
    }
    if (commandName.empty()) {
        PrintShortUsage(stderr);
        return kExitUsage;
    }
    const Command* command = FindCommand(commandName);
    if (!command) {
        std::vector<std::string> names;
        for (const Command& c : Commands()) names.push_back(c.name);
        std::string near = NearestName(commandName, names);
        std::fprintf(stderr, "varnex: %s\n",
                     (near.empty() ? MessageText(msg::cli::UnknownCommand, commandName)
                                   : MessageText(msg::cli::UnknownCommandNear, commandName, near))
                         .c_str());
        return kExitUsage;
    }
    // Global options may also follow the command; the rest is the command's own.
    tail.erase(tail.begin());
    ArgParser after(tail, kGlobalFlags, valued, ArgParser::kPassUnknown);
    if (!after.Ok()) return UsageError(*command, after.Error());
    for (const std::string& name : kGlobalValued)
        if (!before.Value(name).empty() && !after.Value(name).empty())
            return UsageError(*command, MessageText(msg::cli::OptionTwice, name));
    TakeGlobals(after, ctx.options);
    std::vector<std::string> rest = after.Positionals();
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string& a = rest[i];
        if (a == "--") break;
        // "props --set -h" asks to clear the hidden box (and is refused), not for help.
        if (i > 0 && rest[i - 1] == "--set") continue;
        if (a == "--help" || a == "-h") {
            PrintCommandHelp(*command, rest);
            return kExitOk;
        }
    }

    TerminalHost terminal;
    // Progress only on a terminal, and never beside machine-readable output.
    const bool json = std::find(rest.begin(), rest.end(), "--json") != rest.end();
    terminal.SetShowProgress(!ctx.options.quiet && !json && isatty(fileno(stderr)));
    ctx.terminal = &terminal;
    ScriptedHost scripted;
    IUiHost* host = &terminal;
    if (!ctx.options.answers.empty()) {
        std::string wrong = CheckAnswers(ctx.options.answers);
        if (!wrong.empty() || !scripted.AddAnswers(AbsoluteAnswers(ctx.options.answers))) {
            std::fprintf(stderr, "varnex: --answers: %s\n",
                         wrong.empty() ? MessageText(msg::cli::AnswersForm).c_str() : wrong.c_str());
            return kExitUsage;
        }
        scripted.EchoMessagesTo(stderr);
        host = &scripted;
    }
    ScopedUiHost installed(*host);
    ctx.host = host;
    InstallSignalCleanup();
    // A file-size limit (ulimit -f) makes the write that passes it fail with EFBIG, reported
    // and cleaned up as a full disk is, instead of killing the program mid-write.
    ::signal(SIGXFSZ, SIG_IGN);
    // Key devices of this run: a token's PIN from --pin-file, else asked through the host.
    logon::TokenSettings tokens;
    if (!ctx.options.pinFile.empty()) tokens.pin = logon::PinFromFile(ctx.options.pinFile);
    logon::StandardKeyDevices keyDevices(tokens);
    const logon::IKeyDeviceFactory* boundKeyDevices = logon::BindThreadKeyDevices(&keyDevices);
    int status = command->run(ctx, rest);
    logon::BindThreadKeyDevices(boundKeyDevices);
    // Ctrl-C at a prompt stops the operation rather than failing it.
    return InterruptSeen() ? kExitStopped : status;
}
