// varnex sign, verify and info as a script runs them.

#include <cstdlib>

#include "CliTest.h"

using SignCommands = CliTest;

TEST_F(SignCommands, SignVerifyChangeAndDescribeFromTheCommandLine) {
    AddUsers({"alice"});
    WriteFile(dir / "a.txt", "agreed");
    CliOutcome signedOut = As("alice", "sign '" + dir / "a.txt" + "'");
    ASSERT_EQ(signedOut.exit, 0) << signedOut.err;
    EXPECT_EQ(signedOut.out, dir / "a.txt.idi\n");
    EXPECT_EQ(As("alice", "sign --mail '" + dir / "missing.txt" + "'").exit, 1) << "nothing signed";

    CliOutcome verified = Varnex("verify '" + dir / "a.txt.idi" + "'");
    EXPECT_EQ(verified.exit, 0) << verified.err;
    EXPECT_EQ(verified.out.rfind("验证结果：验证数字签名正确\n签名人: Alice<alice@example.org>\n", 0), 0u)
        << verified.out;

    WriteFile(dir / "a.txt", "agreeD");
    CliOutcome changed = Varnex("verify --json '" + dir / "a.txt.idi" + "'");
    EXPECT_EQ(changed.exit, 1);
    EXPECT_NE(changed.out.find("\"correct\": false"), std::string::npos) << changed.out;
    EXPECT_EQ(changed.err, "varnex: " + dir / "a.txt.idi: 数字签名验证不正确。\n");

    CliOutcome info = Varnex("info --json '" + dir / "a.txt.idi" + "' '" + dir / "a.txt" + "'");
    EXPECT_EQ(info.exit, 1) << "a.txt is not secured";
    EXPECT_NE(info.out.find("\"kind\": 4"), std::string::npos);
    WriteFile(dir / "info.json", info.out);
    if (std::system("command -v python3 >/dev/null") == 0) {
        std::string check = "python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" + dir / "info.json" + "'";
        EXPECT_EQ(std::system(check.c_str()), 0) << info.out;
    }
}
