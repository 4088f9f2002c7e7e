// Shared encryption: who receives the session key, the 200-person limit, and certificates that
// changed since they were confirmed.

#include <sqlite3.h>

#include <filesystem>

#include "AdvancedFixture.h"
#include "damage/DamagedFile.h"
#include "signature/SecureInfo.h"

namespace fs = std::filesystem;

namespace {

// The recipients' key texts of a package, in record order.
std::vector<std::string> RecipientsOf(const std::string& package, char* kind) {
    CKorvane e;
    int count = 0;
    std::vector<Decrypt_Info> records(kMaxRecipients);
    char name[kMaxPath];
    if (!e.GetFileSecureInfo(package.c_str(), kind, &count, records.data(), nullptr, nullptr, name)) return {};
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.emplace_back(records[static_cast<size_t>(i)].keyText);
    return texts;
}

}  // namespace

TEST_F(AdvancedTest, ShareGivesEachPersonOneRecordOwnerFirstAndOnlyThemOpenIt) {
    int32_t team = logon.AddGroup("team");
    ASSERT_TRUE(logon.AddGroupMembers("team", {"carol", "bob", "alice"}));
    ASSERT_TRUE(logon.GrantShare(
        dir / "share",
        {{kDecryptManUser, Number("bob")}, {kDecryptManGroup, team}, {kDecryptManUser, Number("alice")}}));
    WriteFile(dir / "s.txt", "shared");
    WriteFile(dir / "t.txt", "owner only");
    ASSERT_EQ(ShareEncrypt({"s.txt"}, "share"), 1);
    const std::string shared = PackageOf("s.txt");
    ASSERT_NE(shared, "");
    char kind = 0;
    EXPECT_EQ(RecipientsOf(shared, &kind), (std::vector<std::string>{"Alice<alice@example.org>", "Bob<bob@example.org>",
                                                                     "Carol<carol@example.org>"}));
    EXPECT_EQ(kind, kKindShared);
    EXPECT_EQ(Restore("bob", shared), 1);
    EXPECT_EQ(Restore("carol", shared), 1);
    EXPECT_EQ(Restore("dave", shared), 0);
    EXPECT_EQ(ReadFile(dir / "out/carol/s.txt"), "shared");
    EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];

    // A path nobody granted: the owner alone.
    ASSERT_EQ(ShareEncrypt({"t.txt"}, "elsewhere"), 1);
    EXPECT_EQ(RecipientsOf(PackageOf("t.txt"), &kind), std::vector<std::string>{"Alice<alice@example.org>"});
    EXPECT_EQ(Restore("alice", PackageOf("t.txt")), 1);
}

TEST_F(AdvancedTest, ChangedCertificateIsNamedOnceAndNeverReceivesTheKeyHoweverItsHolderIsReached) {
    int32_t team = logon.AddGroup("team");
    ASSERT_TRUE(logon.AddGroupMembers("team", {"bob", "carol"}));
    ASSERT_TRUE(logon.GrantShare(dir / "share", {{kDecryptManUser, Number("bob")}, {kDecryptManGroup, team}}));
    ASSERT_TRUE(logon.ConfirmCert("bob"));
    ASSERT_TRUE(logon.ConfirmCert("carol"));
    // Someone swaps dave's certificate in for bob's and carol's after they were confirmed.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((logon.Home() + "/logon.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "UPDATE certs SET der = (SELECT der FROM certs WHERE name = 'dave') "
                           "WHERE name IN ('bob', 'carol')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    WriteFile(dir / "s.txt", "shared");
    ASSERT_EQ(ShareEncrypt({"s.txt"}, "share"), 1);
    const std::string warning =
        "警告：公钥证书\"%s\"自上次签名确认后已被修改，不能使用，如果您要继续使用，请在Ondrel中再次签名";
    auto named = [&](const char* who) {
        std::string text = warning;
        return text.replace(text.find("%s"), 2, who);
    };
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{named("bob"), named("carol")}));
    char kind = 0;
    EXPECT_EQ(RecipientsOf(PackageOf("s.txt"), &kind), std::vector<std::string>{"Alice<alice@example.org>"});
    EXPECT_EQ(Restore("dave", PackageOf("s.txt")), 0) << "the swapped-in key received nothing";
}

// A package holding the bare digest shows its content intact and proves no sender; only the
// whole 20-byte digest matches. The device's signature names kim by her certificate.
TEST_F(AdvancedTest, KeyDeviceOwnerSignsWithTheDeviceOnlyWhenAutoSignFileSaysSo) {
    ASSERT_NE(logon.AddUser("kim", "Kim", "kim@example.org", "pw-kim", kLogonKeyDevice), 0) << logon.LastError();
    ASSERT_TRUE(logon.GrantShare(dir / "share", {{kDecryptManUser, Number("bob")}}));
    WriteFile(dir / "a.txt", "digest only");
    WriteFile(dir / "b.txt", "signed by the device");
    ASSERT_EQ(ShareEncrypt({"a.txt"}, "share", "kim"), 1);
    EXPECT_EQ(engine.m_digestOnly, 1);
    const std::string bare = PackageOf("a.txt");
    EXPECT_EQ(Restore("bob", bare), 1);
    EXPECT_EQ(proved.basis, SignerProof::Basis::kBareDigest);
    EXPECT_EQ(EnvelopeHoldsBareDigest(engine, bare.c_str()), 1);

    // The digest cut short: a prefix of anyone's digest is easier still to come by.
    DamagedFile package(SecuredKind::kEnvelope, bare);
    const RecordSpan& trailer = package.Record("trailer");
    const std::string digest = package.Valid().substr(trailer.begin + 8, 20);
    for (int32_t kept : {1, 4, 19}) {
        host.Clear();
        const std::string length(reinterpret_cast<const char*>(&kept), 4);
        WriteFile(dir / "cut.vrk", package.SetField(trailer, 4, 24, length + digest.substr(0, kept), false));
        EXPECT_EQ(Restore("bob", dir / "cut.vrk"), 0) << kept;
        EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"解密文件与原文件不一致。"}) << kept;
    }

    ASSERT_TRUE(logon.SetOption("Option", "AutoSignFile", "true"));
    ASSERT_EQ(ShareEncrypt({"b.txt"}, "share", "kim"), 1);
    EXPECT_EQ(engine.m_digestOnly, 0);
    EXPECT_EQ(Restore("bob", PackageOf("b.txt")), 1);
    EXPECT_EQ(ReadFile(dir / "out/bob/b.txt"), "signed by the device");
    EXPECT_TRUE(proved.Proven());
    EXPECT_EQ(proved.KeyText(), "Kim<kim@example.org>");
    EXPECT_EQ(EnvelopeHoldsBareDigest(engine, PackageOf("b.txt").c_str()), 0);
}

namespace {

// A store whose crowd of users ("m1", "m2", ...) shares one key pair, so two hundred users are
// quick to register.
class CrowdLogon : public TestLogon {
protected:
    logon::PkeyPtr NewKeyPair(const std::string& userId) override {
        return TestRsaKey(userId[0] == 'm' ? "crowd" : userId);
    }
};

class CrowdTest : public HostTest {
protected:
    CrowdLogon logon;
    ScopedLogonLibrary installed{&logon};
};

}  // namespace

TEST_F(CrowdTest, TwoHundredPeopleAreAcceptedTwoHundredAndOneRefusedBeforeAnyFileIsTouched) {
    ASSERT_NE(logon.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
    int32_t crowd = logon.AddGroup("crowd");
    std::vector<std::string> members;
    for (int i = 1; i <= 200; ++i) {
        members.push_back("m" + std::to_string(i));
        ASSERT_NE(logon.AddUser(members.back(), "M" + std::to_string(i), members.back() + "@example.org", "pw-member"),
                  0)
            << logon.LastError();
    }
    ASSERT_TRUE(logon.AddGroupMembers("crowd", std::vector<std::string>(members.begin(), members.end() - 1)));
    ASSERT_TRUE(logon.GrantShare(dir / "share", {{kDecryptManGroup, crowd}}));
    ASSERT_TRUE(logon.LogOn("alice", "pw-alice"));
    WriteFile(dir / "a.txt", "for 200");
    WriteFile(dir / "b.txt", "for 201");
    CAdvanceEmcrypt engine;
    auto share = [&](const char* name) {
        std::string list = dir / name;
        list.append(2, '\0');
        return engine.ShareEncryptMuchFiles(list.c_str(), (dir / "share").c_str(), "alice", "pw-alice", nullptr);
    };
    ASSERT_EQ(share("a.txt"), 1);
    ASSERT_EQ(engine.m_outcomes.size(), 1u);
    char kind = 0;
    EXPECT_EQ(RecipientsOf(engine.m_outcomes[0].package, &kind).size(), 200u);
    EXPECT_TRUE(host.Messages().empty());

    ASSERT_TRUE(logon.AddGroupMembers("crowd", {members.back()}));
    EXPECT_EQ(share("b.txt"), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"advanced.TooManyRecipients"});
    EXPECT_EQ(ReadFile(dir / "b.txt"), "for 201");
    EXPECT_TRUE(engine.m_outcomes.empty());
}
