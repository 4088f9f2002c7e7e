#pragma once
// The fixture of the command tests: the built varnex run as a script runs it (no terminal, no
// desktop session, the modules it ships with) on a suite folder of the test's own, with users
// registered through the store itself.

#include <sys/wait.h>

#include <cctype>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "TestLogon.h"

class CliTest : public ::testing::Test {
protected:
    // Registers each ID with the name ID capitalised, the e-mail ID@example.org and the password
    // "pw-ID".
    void AddUsers(std::initializer_list<std::string> ids) {
        TestLogon store(home);
        for (const std::string& id : ids) {
            std::string name = id;
            name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
            ASSERT_NE(store.AddUser(id, name, id + "@example.org", "pw-" + id), 0) << store.LastError();
        }
    }

    // varnex with `args`; `env` (VAR=value ...) before the program.
    CliOutcome Varnex(const std::string& args, const std::string& env = {}) { return RunVarnex(dir, home, args, env); }
    // varnex as user `id` (its password from the environment), `input` as standard input.
    CliOutcome As(const std::string& id, const std::string& args, const std::string& input = "/dev/null",
                  const std::string& env = {}) {
        std::string cmd = "env -u VARNEX_HOME -u VARNEX_MODULE_PATH -u DISPLAY -u WAYLAND_DISPLAY VARNEX_PASSWORD=pw-" +
                          id + " " + env + " '" VARNEX_CLI_PATH "' --home '" + home + "' --user " + id + " " + args +
                          " <'" + input + "' >'" + dir / "cli.out" + "' 2>'" + dir / "cli.err" + "'";
        int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "cli.out"), ReadFile(dir / "cli.err")};
    }

    TempDir dir;
    std::string home = dir / "suite";
};

// Whether varnex ended with `exit` and said `text` on its standard error.
inline ::testing::AssertionResult Ends(const CliOutcome& o, int exit, const std::string& text) {
    if (o.exit == exit && o.err.find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << o.exit << ", standard error: " << o.err;
}
