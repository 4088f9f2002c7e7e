#include "Cli.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "NearestName.h"

int ExitForResult(int result) {
    if (result == 1) return kExitOk;
    if (result == -1) return kExitStopped;
    return kExitFailed;
}

std::string ByteCount(uint64_t bytes) {
    if (bytes < 1024)
        return MessageText(bytes == 1 ? msg::cli::OneByte : msg::cli::Bytes, static_cast<unsigned long long>(bytes));
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string CliContext::HomeFolder() const {
    if (!options.home.empty()) return options.home;
    if (const char* env = std::getenv("VARNEX_HOME"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.varnex";
}

ArgParser::ArgParser(std::vector<std::string> args, std::vector<std::string> flags, std::vector<std::string> valued,
                     Mode mode) {
    auto known = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    auto store = [&](const std::string& option, const std::string& value) {
        if (m_values.count(option)) {
            m_error = MessageText(msg::cli::OptionTwice, option);
        } else if (value.empty()) {
            m_error = MessageText(msg::cli::OptionEmpty, option);
        } else {
            m_values[option] = value;
        }
        return m_error.empty();
    };
    bool onlyPositionals = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositionals || a.size() < 2 || a[0] != '-') {
            if (mode == kStopAtPositional) {
                m_positionals.insert(m_positionals.end(), args.begin() + static_cast<long>(i), args.end());
                return;
            }
            m_positionals.push_back(a);
        } else if (a == "--") {
            if (mode != kStrict) m_positionals.push_back(a);
            onlyPositionals = true;
        } else if (known(flags, a)) {
            m_flags[a] = true;
        } else if (size_t eq = a.find('='); eq != std::string::npos && known(valued, a.substr(0, eq))) {
            if (!store(a.substr(0, eq), a.substr(eq + 1))) return;
        } else if (known(valued, a)) {
            if (i + 1 >= args.size()) {
                m_error = MessageText(msg::cli::OptionNeedsValue, a);
                return;
            }
            if (!store(a, args[++i])) return;
        } else if (mode == kPassUnknown) {
            m_positionals.push_back(a);
        } else {
            std::vector<std::string> names = flags;
            names.insert(names.end(), valued.begin(), valued.end());
            names.insert(names.end(), kGlobalValued.begin(), kGlobalValued.end());
            names.insert(names.end(), kGlobalFlags.begin(), kGlobalFlags.end());
            std::string near = NearestName(a.substr(0, a.find('=')), names);
            m_error = near.empty() ? MessageText(msg::cli::UnknownOption, a)
                                   : MessageText(msg::cli::UnknownOptionNear, a, near);
            return;
        }
    }
}

std::string ArgParser::Value(const std::string& option, const std::string& fallback) const {
    auto it = m_values.find(option);
    return it == m_values.end() ? fallback : it->second;
}

namespace {

std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

}  // namespace

const std::vector<Command>& Commands() { return Table(); }

CommandRegistrar::CommandRegistrar(std::string name, std::string usage, MessageDef summary,
                                   std::function<int(CliContext&, const std::vector<std::string>&)> run,
                                   MessageDef help, std::vector<SubCommand> subcommands) {
    Command command{std::move(name), std::move(usage), summary, std::move(run), help, std::move(subcommands)};
    auto& table = Table();
    auto at = std::lower_bound(table.begin(), table.end(), command.name,
                               [](const Command& c, const std::string& n) { return c.name < n; });
    table.insert(at, std::move(command));
}

const Command* FindCommand(const std::string& name) {
    for (const Command& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

std::string UnknownSubCommandText(const std::string& command, const std::string& sub) {
    std::vector<std::string> names;
    if (const Command* c = FindCommand(command))
        for (const SubCommand& s : c->subcommands) names.push_back(s.name);
    std::string near = NearestName(sub, names);
    return near.empty() ? MessageText(msg::cli::UnknownSubCommand, command, sub)
                        : MessageText(msg::cli::UnknownSubCommandNear, command, sub, near);
}

std::string HelpText(const MessageDef& entry) { return entry.text ? MessageText(entry) : std::string(); }

int UsageError(const Command& command, const std::string& text) {
    std::fprintf(stderr, "varnex: %s\n%s\n", text.c_str(),
                 MessageText(msg::cli_help::Usage, command.name + " " + command.usage).c_str());
    return kExitUsage;
}
