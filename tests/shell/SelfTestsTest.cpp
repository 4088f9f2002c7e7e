#include "TestLogon.h"
#include "shell/SelfTests.h"

namespace {

class SelfTests : public LogonHostTest {
protected:
    SelfTests() { AddUsers({"alice"}); }
};

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

TEST_F(SelfTests, CommandExitsZeroWhenTheCiphersPassAndTwoOnAWrongRoundCount) {
    for (auto [args, code] : {std::pair{"selftest", 0},
                              {"selftest --rounds 3", 0},
                              {"selftest --rounds 0", 2},
                              {"selftest --rounds many", 2},
                              {"selftest extra", 2}})
        EXPECT_EQ(RunVarnex(dir, logon.Home(), args).exit, code) << args;
}
