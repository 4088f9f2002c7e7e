#pragma once
// The command-line program's frame: global options, the command table, argument parsing and
// the mapping of engine results to exit codes. Each command lives in its own file and
// registers itself with VARNEX_COMMAND.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "platform/Secret.h"
#include "platform/UiHost.h"

class TerminalHost;

// Exit codes: the operation's result 1 -> 0, 0 -> 1, -1 (stopped) -> 3; usage errors -> 2.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitStopped = 3 };
int ExitForResult(int result);

// "512 bytes", "1.5 KiB", "12.0 MiB", "3.2 GiB".
std::string ByteCount(uint64_t bytes);

struct GlobalOptions {
    std::string home;                 // --home, $VARNEX_HOME, ~/.varnex
    std::string user;                 // --user
    std::string passwordFile;         // --password-file
    std::string newPasswordFile;      // --new-password-file
    std::string packagePasswordFile;  // --package-password-file
    std::string answers;              // --answers
    std::string pinFile;              // --pin-file
    bool quiet = false;               // --quiet
    bool verbose = false;             // --verbose
};

class CliContext {
public:
    GlobalOptions options;
    // The program name as invoked, for messages.
    std::string program = "varnex";
    // The host every dialog of this run goes through.
    IUiHost* host = nullptr;
    // The terminal's host (progress line, prompts), also when scripted answers stand in front.
    TerminalHost* terminal = nullptr;

    // $VARNEX_PASSWORD as the program found it (TakeEnvironmentPassword).
    SecretText environmentPassword;
    bool hasEnvironmentPassword = false;

    // The suite folder this run works in.
    std::string HomeFolder() const;
};

// The program's own options, taken before or after the command.
inline const std::vector<std::string> kGlobalValued = {
    "--home", "--user", "--password-file", "--new-password-file", "--package-password-file", "--answers", "--pin-file"};
inline const std::vector<std::string> kGlobalFlags = {"--quiet", "--verbose"};

// Arguments: flags, options with a value, and positionals, in any order. A valued option
// given twice, or given an empty value, is a usage error. "--" ends the options.
class ArgParser {
public:
    // kStrict: an unknown option is an error. kStopAtPositional: the first positional and
    // everything behind it are left in Positionals() untouched (the program's global options
    // before the command). kPassUnknown: unknown options are kept in Positionals() in their
    // order (global options found among a command's arguments).
    enum Mode { kStrict, kStopAtPositional, kPassUnknown };
    ArgParser(std::vector<std::string> args, std::vector<std::string> flags, std::vector<std::string> valued,
              Mode mode = kStrict);
    // False with an error text when an unknown option or a missing value was seen; an unknown
    // option close to a known one (the program's own included) is named as the likely meaning.
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    bool Has(const std::string& flag) const { return m_flags.count(flag) != 0; }
    std::string Value(const std::string& option, const std::string& fallback = {}) const;
    const std::vector<std::string>& Positionals() const { return m_positionals; }

private:
    std::map<std::string, std::string> m_values;
    std::map<std::string, bool> m_flags;
    std::vector<std::string> m_positionals;
    std::string m_error;
};

// A sub-command of a command with several (user add, cert export, ...): shown by
// `varnex COMMAND SUB --help`, and listed by `varnex COMMAND --help`.
// A command's summary and help are entries of the help table (CliHelpMessages.h), shown in the
// reader's language; a help left empty ({}) has no text.
struct SubCommand {
    std::string name;
    std::string usage;   // its arguments
    MessageDef summary;  // one line
    MessageDef help;     // what each of its options does (lines ending in \n); may be empty
};

struct Command {
    std::string name;
    std::string usage;   // arguments, as shown by --help
    MessageDef summary;  // one line
    std::function<int(CliContext&, const std::vector<std::string>&)> run;
    MessageDef help;  // what each option does, shown by COMMAND --help (lines ending in \n)
    std::vector<SubCommand> subcommands;
};

const std::vector<Command>& Commands();
struct CommandRegistrar {
    CommandRegistrar(std::string name, std::string usage, MessageDef summary,
                     std::function<int(CliContext&, const std::vector<std::string>&)> run, MessageDef help = {},
                     std::vector<SubCommand> subcommands = {});
};

// "unknown COMMAND command 'SUB'", naming the sub-command it is close to, if one is.
std::string UnknownSubCommandText(const std::string& command, const std::string& sub);

// The text of a summary or help entry in the reader's language; "" for a help left empty.
std::string HelpText(const MessageDef& entry);

// Prints "varnex: TEXT" and the command's usage to stderr; returns kExitUsage.
int UsageError(const Command& command, const std::string& text);
const Command* FindCommand(const std::string& name);

#define VARNEX_CONCAT2(a, b) a##b
#define VARNEX_CONCAT(a, b) VARNEX_CONCAT2(a, b)
#define VARNEX_COMMAND(...) static const CommandRegistrar VARNEX_CONCAT(kRegistrar, __LINE__)(__VA_ARGS__)
