// varnex selftest [--rounds N] [--rsa]: the cipher self-tests.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "logon/ILogon.h"
#include "shell/SelfTests.h"

namespace {

int RunSelftest(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("selftest");
    ArgParser parsed(args, {"--rsa"}, {"--rounds"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (!parsed.Positionals().empty())
        return UsageError(self, MessageText(msg::cli::UnexpectedArgument, parsed.Positionals()[0]));
    std::string roundsText = parsed.Value("--rounds", "1");
    char* end = nullptr;
    long rounds = std::strtol(roundsText.c_str(), &end, 10);
    if (roundsText.empty() || *end != '\0' || rounds < 1 || rounds > 1000000)
        return UsageError(self, MessageText(msg::cli::RoundsRange));

    bool symmetric = TestSymmtryEncrypt(static_cast<int>(rounds)) == 1;
    std::printf("%s\n", MessageText(rounds == 1 ? msg::cli::CiphersOneRound : msg::cli::CiphersRounds, rounds,
                                    MessageText(symmetric ? msg::cli::Passed : msg::cli::FailedVerdict))
                            .c_str());
    if (!symmetric) return kExitFailed;
    if (!parsed.Has("--rsa")) return kExitOk;

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    std::string user;
    SecretText password;
    int type = 0;
    session.Store().GetLogonUser(user, password, type);
    int rsa = TestRSAEncrypt(user.c_str(), password.c_str(), static_cast<int>(rounds));
    const MessageDef& verdict = rsa == 0   ? msg::cli::Passed
                                : rsa == 1 ? msg::cli::KeysNotAvailable
                                           : msg::cli::FailedVerdict;
    std::printf("%s\n", MessageText(msg::cli::RsaKeyPair, user.empty() ? MessageText(msg::cli::NoUser) : user,
                                    MessageText(verdict))
                            .c_str());
    return rsa == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("selftest", "[--rounds N] [--rsa]", msg::cli_help::Selftest, RunSelftest, msg::cli_help::SelftestHelp);
