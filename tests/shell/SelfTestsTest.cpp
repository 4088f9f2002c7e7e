#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "TestLogon.h"
#include "shell/SelfTests.h"

namespace {

class SelfTests : public LogonHostTest {
protected:
    SelfTests() { logon.AddUser("alice", "Alice", "alice@example.org", "pw-alice"); }
};

int Cli(const std::string& args) {
    std::string command = std::string(VARNEX_CLI_PATH) + " " + args + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(SelfTests, SymmetricTestPassesForAnyRoundCount) {
    for (int rounds : {1, 3, 0, -2}) EXPECT_EQ(TestSymmtryEncrypt(rounds), 1) << rounds;
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(SelfTests, RsaTestNeedsTheUsersKeysAndPassword) {
    EXPECT_EQ(TestRSAEncrypt("alice", "pw-alice", 2), 0);
    EXPECT_EQ(TestRSAEncrypt("alice", "wrong", 2), 1);
    EXPECT_EQ(TestRSAEncrypt("nobody", "pw-alice", 2), 1);
    EXPECT_EQ(TestRSAEncrypt(nullptr, nullptr, 2), 1);
    EXPECT_EQ(TestSysmtryAndRSAEncrypt("alice", "pw-alice", 1, 1), 0);
    EXPECT_EQ(TestSysmtryAndRSAEncrypt("alice", "wrong", 1, 1), 1);
    EXPECT_EQ(TestSysmtryAndRSAEncrypt("alice", "wrong", 1, 0), 0) << "keys are only tried when asked for";
    ScopedLogonLibrary none(nullptr);
    EXPECT_EQ(TestRSAEncrypt("alice", "pw-alice", 1), 1);
}

TEST(SelftestCommand, ExitsZeroWhenTheCiphersPass) {
    EXPECT_EQ(Cli("selftest"), 0);
    EXPECT_EQ(Cli("selftest --rounds 3"), 0);
    EXPECT_EQ(Cli("selftest --rounds 0"), 2);
    EXPECT_EQ(Cli("selftest --rounds many"), 2);
    EXPECT_EQ(Cli("selftest extra"), 2);
}
