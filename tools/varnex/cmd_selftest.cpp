// varnex selftest [--rounds N] [--rsa]: the cipher self-tests.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Cli.h"
#include "Session.h"
#include "logon/ILogon.h"
#include "shell/SelfTests.h"

namespace {

int RunSelftest(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("selftest");
    ArgParser parsed(args, {"--rsa"}, {"--rounds"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (!parsed.Positionals().empty()) return UsageError(self, "unexpected argument '" + parsed.Positionals()[0] + "'");
    std::string roundsText = parsed.Value("--rounds", "1");
    char* end = nullptr;
    long rounds = std::strtol(roundsText.c_str(), &end, 10);
    if (roundsText.empty() || *end != '\0' || rounds < 1 || rounds > 1000000)
        return UsageError(self, "--rounds takes a number from 1 to 1000000");

    bool symmetric = TestSymmtryEncrypt(static_cast<int>(rounds)) == 1;
    std::printf("ciphers 45, 62, 46 (%ld round%s): %s\n", rounds, rounds == 1 ? "" : "s",
                symmetric ? "passed" : "FAILED");
    if (!symmetric) return kExitFailed;
    if (!parsed.Has("--rsa")) return kExitOk;

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    std::string user;
    SecretText password;
    int type = 0;
    session.Store().GetLogonUser(user, password, type);
    int rsa = TestRSAEncrypt(user.c_str(), password.c_str(), static_cast<int>(rounds));
    const char* verdict = rsa == 0 ? "passed" : rsa == 1 ? "keys not available" : "FAILED";
    std::printf("RSA key pair of %s: %s\n", user.empty() ? "(no user)" : user.c_str(), verdict);
    return rsa == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("selftest", "[--rounds N] [--rsa]", "run the cipher self-tests", RunSelftest,
               "  --rounds N  repeat each test N times (1 to 1000000; default 1)\n"
               "  --rsa       also test the logged-on user's RSA key pair (asks for the password)\n");
