// varnex: the file- and mail-security engine from a terminal or a script.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Cli.h"
#include "platform/ScriptedHost.h"
#include "platform/SignalCleanup.h"
#include "platform/TerminalHost.h"

namespace {

const char* const kGlobalValued[] = {"--home", "--user", "--password-file", "--new-password-file",
                                     "--package-password-file", "--answers"};

void PrintHelp() {
    std::printf(
        "usage: varnex [global options] COMMAND [arguments]\n\n"
        "Protects files and folder trees with passwords and digital envelopes, signs and\n"
        "verifies files, builds secured mail packages and wipes files.\n\n"
        "Global options:\n"
        "  --home DIR                   suite folder (default $VARNEX_HOME, else ~/.varnex)\n"
        "  --user ID                    user to log on as\n"
        "  --password-file F            logon password (first line of F; also $VARNEX_PASSWORD)\n"
        "  --new-password-file F        password for a new package or a new user\n"
        "  --package-password-file F    password that opens password packages\n"
        "  --answers LIST               answer every question from LIST (kind=value,...):\n"
        "                               replace=yes|all|no|none|cancel, yes-no=yes|no,\n"
        "                               retry=retry|cancel|abort|ignore, folder=DIR, file=PATH\n"
        "  --quiet                      no progress bar\n"
        "  --help, --version\n\n"
        "Commands:\n");
    for (const Command& c : Commands()) {
        std::string head = c.name + (c.usage.empty() ? "" : " " + c.usage);
        std::printf("  %-40s %s\n", head.c_str(), c.summary.c_str());
    }
    std::printf("\nExit status: 0 done, 1 failed, 2 usage error, 3 stopped.\n"
                "'varnex COMMAND --help' shows one command's arguments.\n");
}

}  // namespace

int main(int argc, char** argv) {
    CliContext ctx;
    std::vector<std::string> rest;
    std::string commandName;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool matched = false;
        for (const char* opt : kGlobalValued) {
            size_t n = std::strlen(opt);
            if (a == opt || (a.compare(0, n, opt) == 0 && a.size() > n && a[n] == '=')) {
                std::string value;
                if (a == opt) {
                    if (i + 1 >= argc) {
                        std::fprintf(stderr, "varnex: option %s needs a value\n", opt);
                        return kExitUsage;
                    }
                    value = argv[++i];
                } else {
                    value = a.substr(n + 1);
                }
                std::string key = opt;
                if (key == "--home") ctx.options.home = value;
                else if (key == "--user") ctx.options.user = value;
                else if (key == "--password-file") ctx.options.passwordFile = value;
                else if (key == "--new-password-file") ctx.options.newPasswordFile = value;
                else if (key == "--package-password-file") ctx.options.packagePasswordFile = value;
                else ctx.options.answers = value;
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (a == "--quiet") ctx.options.quiet = true;
        else if (a == "--version" && commandName.empty()) {
            std::printf("varnex %s\n", VARNEX_VERSION);
            return kExitOk;
        } else if ((a == "--help" || a == "-h") && commandName.empty()) help = true;
        else if (commandName.empty() && !a.empty() && a[0] != '-') commandName = a;
        else rest.push_back(a);
    }
    if (help || commandName.empty() || commandName == "help") {
        PrintHelp();
        return help || commandName == "help" ? kExitOk : kExitUsage;
    }
    const Command* command = FindCommand(commandName);
    if (!command) {
        std::fprintf(stderr, "varnex: unknown command '%s' (see varnex --help)\n", commandName.c_str());
        return kExitUsage;
    }
    for (const std::string& a : rest) {
        if (a == "--help" || a == "-h") {
            std::printf("usage: varnex %s %s\n  %s\n", command->name.c_str(), command->usage.c_str(), command->summary.c_str());
            return kExitOk;
        }
    }

    TerminalHost terminal;
    terminal.SetShowProgress(!ctx.options.quiet && isatty(fileno(stderr)));
    ScriptedHost scripted;
    IUiHost* host = &terminal;
    if (!ctx.options.answers.empty()) {
        if (!scripted.AddAnswers(ctx.options.answers)) {
            std::fprintf(stderr, "varnex: --answers takes kind=value pairs separated by commas\n");
            return kExitUsage;
        }
        scripted.EchoMessagesTo(stderr);
        host = &scripted;
    }
    ScopedUiHost installed(*host);
    ctx.host = host;
    InstallSignalCleanup();
    int status = command->run(ctx, rest);
    // Ctrl-C at a prompt stops the operation rather than failing it.
    return InterruptSeen() ? kExitStopped : status;
}
