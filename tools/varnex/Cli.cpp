#include "Cli.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

int ExitForResult(int result) {
    if (result == 1) return kExitOk;
    if (result == -1) return kExitStopped;
    return kExitFailed;
}

std::string CliContext::HomeFolder() const {
    if (!options.home.empty()) return options.home;
    if (const char* env = std::getenv("VARNEX_HOME"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.varnex";
}

ArgParser::ArgParser(std::vector<std::string> args, std::vector<std::string> flags, std::vector<std::string> valued) {
    auto known = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    bool onlyPositionals = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPositionals || a.size() < 2 || a[0] != '-') {
            m_positionals.push_back(a);
        } else if (a == "--") {
            onlyPositionals = true;
        } else if (known(flags, a)) {
            m_flags[a] = true;
        } else if (size_t eq = a.find('='); eq != std::string::npos && known(valued, a.substr(0, eq))) {
            m_values[a.substr(0, eq)] = a.substr(eq + 1);
        } else if (known(valued, a)) {
            if (i + 1 >= args.size()) {
                m_error = "option " + a + " needs a value";
                return;
            }
            m_values[a] = args[++i];
        } else {
            m_error = "unknown option " + a;
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

CommandRegistrar::CommandRegistrar(Command command) {
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

int UsageError(const Command& command, const std::string& text) {
    std::fprintf(stderr, "varnex: %s\nusage: varnex %s %s\n", text.c_str(), command.name.c_str(), command.usage.c_str());
    return kExitUsage;
}
