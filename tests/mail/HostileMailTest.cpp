// Packages that were damaged or made by a forger: refused with one message, never a row past the
// header's count, never a file outside the mail folder, never a write through a link.

#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include "MailFixture.h"
#include "formats/ProtectedFields.h"
#include "mail/MailLayout.h"

namespace fs = std::filesystem;

namespace {

// A signed-only package whose index holds `names` (each file's content "x"), its header
// announcing `announced` files, with an empty signature. Entries are sealed by hand, as a forger
// would, so that names the writer refuses can be stored.
std::string Forge(const std::vector<std::string>& names, int32_t announced, const std::string& signer = "alice") {
    CKorvane e;
    CMemFile f;
    MailHeader h{};
    std::memcpy(h.magic, "QL", 2);
    std::memcpy(h.version, "30", 2);
    h.mailType = kMailTypePublicKey, h.mailFlag = kMailFlagSign, h.cipherId = 46, h.digestId = h.digestId2 = 42;
    h.one = 1, h.fileCount = announced;
    EXPECT_TRUE(WriteMailHeader(e, &f, h) && WriteSignerBlock(e, &f, signer));
    int32_t data = static_cast<int32_t>(f.GetPosition() + kMailEndEntrySize);
    for (const std::string& n : names) data += static_cast<int32_t>(kMailFileEntryFixed + n.size());
    e.CRC_Init();
    e.CRC_Update(reinterpret_cast<const unsigned char*>("x"), 1);
    const uint16_t crc = e.CRC_Final();
    for (size_t i = 0; i < names.size(); ++i) {
        ProtectedWriter w(e.Records(), &f);
        EXPECT_TRUE(w.I32(1) && w.I32(data + static_cast<int32_t>(i)) && w.I32(static_cast<int32_t>(names[i].size())) &&
                    w.Field(names[i].data(), names[i].size()) && w.I32(1) && w.Field("20200101000000", 14) &&
                    w.Field("20200101000000", 14) && w.I32(1) && w.U8(0x20) && w.U16(crc) && w.Finish());
    }
    const int32_t signature = data + static_cast<int32_t>(names.size());
    EXPECT_TRUE(WriteEndEntry(e, &f, signature));
    for (size_t i = 0; i < names.size(); ++i) f.Write("x", 1);
    EXPECT_TRUE(WriteSignatureBlock(e, &f, nullptr, 0));
    return std::string(reinterpret_cast<const char*>(f.Data()), f.GetLength());
}

}  // namespace

TEST_F(MailPackageTest, IndexWithMoreFilesThanTheHeaderAnnouncesIsRefusedBeforeAnythingIsWritten) {
    // From memory too: its empty signature is a read of nothing into no buffer.
    for (bool fromMemory : {false, true}) {
        EXPECT_EQ(Unpack("bob", Forge({"a", "b"}, 2), fromMemory, 1).result, 1);
        fs::remove_all(MailFolder());
    }
    host.Clear();
    Unpacked got = Unpack("bob", Forge({"a", "b"}, 1), false, 1);
    EXPECT_EQ(got.result, 0);
    EXPECT_TRUE(got.files.empty());
    EXPECT_TRUE(Restored().empty());
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "邮件结构错.fileIndex.nFlag = 1");
}

// A header announcing more files than its length holds entries for is refused before anything
// is sized from its count: the engine's reader and the program (which sizes its rows from it).
TEST_F(MailPackageTest, HeaderAnnouncingMoreFilesThanItsLengthHoldsIsRefusedBeforeAnyAllocation) {
    const std::string forged = Forge({"a"}, 0x7fffffff);
    CMemFile memory;
    memory.Attach(std::vector<unsigned char>(forged.begin(), forged.end()));
    CMailEncrypt engine;
    EXPECT_EQ(engine.MailFileCount(nullptr, &memory), -1);
    Unpacked got = Unpack("bob", forged, true, 1);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"mail.NotMail"});

    WriteFile(dir / "forged.qlt", forged);
    CliOutcome cli = RunVarnex(dir, logon.Home(), "--user bob mail-unpack " + dir / "forged.qlt",
                               "VARNEX_PASSWORD=" + Password("bob"));
    EXPECT_EQ(cli.exit, 1) << cli.err;
    EXPECT_EQ(cli.err, "varnex: 这不是一个加密邮件, 或者邮件已被破坏.\n");
    EXPECT_TRUE(Restored().empty());
}

TEST_F(MailPackageTest, StoredNamesThatAreNotFileNamesAreRefusedBeforeAnythingIsWritten) {
    for (const std::string name : {"../evil", "a/b", "a\\b", ".", "..", "/etc", ""}) {
        fs::remove_all(MailFolder());
        host.Clear();
        Unpacked got = Unpack("bob", Forge({"fine", name}, 2), true, 1);
        EXPECT_EQ(got.result, 0) << name;
        EXPECT_TRUE(got.files.empty()) << name;
        ASSERT_EQ(host.Messages().size(), 1u) << name;
        EXPECT_EQ(host.Messages()[0].text, "CRC校验错, 邮件被损坏, 不能解密邮件(215-03).") << name;
        EXPECT_TRUE(Restored().empty()) << name;
        EXPECT_FALSE(fs::exists(logon.Home() + "/evil"));
    }
}

// Whatever the mail folder holds under a stored name (an earlier attachment, a read-only one, a
// link) stays as it is; the mail's file takes the next numbered name.
TEST_F(MailPackageTest, ExistingNamesAreNeverReplacedNorWrittenThrough) {
    WriteFile(dir / "outside.txt", "keep");
    fs::create_directories(MailFolder());
    WriteFile(MailFolder() + "/a.txt", "earlier attachment");
    WriteFile(MailFolder() + "/ro.txt", "earlier, read-only");
    ::chmod((MailFolder() + "/ro.txt").c_str(), 0400);
    fs::create_symlink(dir / "outside.txt", MailFolder() + "/l.txt");
    Unpacked got = Unpack("bob", Forge({"a.txt", "ro.txt", "l.txt"}, 3), false, 1);
    ASSERT_EQ(got.result, 1);
    EXPECT_EQ(got.files, (std::vector<std::string>{MailFolder() + "/a0.txt", MailFolder() + "/ro0.txt",
                                                   MailFolder() + "/l0.txt"}));
    for (const std::string& f : got.files) EXPECT_EQ(ReadFile(f), "x") << f;
    EXPECT_EQ(ReadFile(MailFolder() + "/a.txt"), "earlier attachment");
    EXPECT_EQ(ReadFile(MailFolder() + "/ro.txt"), "earlier, read-only");
    EXPECT_TRUE(fs::is_symlink(MailFolder() + "/l.txt"));
    EXPECT_EQ(ReadFile(dir / "outside.txt"), "keep");
}

// A signature block whose first field is not 0 asked the reader to compare a bare digest, which
// anyone can compute: the SHA-1 of the contents under the name of a key-device user must never
// pass as that user's signature.
TEST_F(MailPackageTest, SignatureBlockHoldingTheContentsDigestIsNotASignature) {
    ASSERT_NE(logon.AddUser("dave", "Dave", "dave@example.org", "pw-dave", kLogonKeyDevice), 0) << logon.LastError();
    std::string forged = Forge({"a"}, 1, "Dave<dave@example.org>");
    forged.resize(forged.size() - 10);  // the empty signature block
    unsigned char digest[20];
    SHA1(reinterpret_cast<const unsigned char*>("x"), 1, digest);
    CKorvane e;
    CMemFile block;
    const int32_t compare = 1, length = 20;
    ProtectedWriter w(e.Records(), &block);
    ASSERT_TRUE(w.Plain(&compare, 4) && w.Plain(&length, 4) && w.Plain(digest, 20) && w.Finish());
    forged.append(reinterpret_cast<const char*>(block.Data()), block.GetLength());

    Unpacked got = Unpack("bob", forged);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.key->nVerify, 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"engine.BadSignature"});
}

// A signature that does not match the files: they waited under temporary names for the verdict,
// so nothing of the mail stands in the folder unless the reader asks to keep it anyway; while
// the question waits nothing is there under the stored names either.
TEST_F(MailPackageTest, FilesOfAMailWhoseSignatureFailsAreKeptOnlyOnRequest) {
    const std::string forged = Forge({"a.txt", "b.txt"}, 2);  // an empty signature by alice
    for (const char* answer : {"no", "yes"}) {
        fs::remove_all(MailFolder());
        host.Clear();
        host.AddAnswer("yes-no", answer);
        bool namedWhileAsked = false;
        host.OnMessage([&](const std::string&) {
            namedWhileAsked =
                namedWhileAsked || fs::exists(MailFolder() + "/a.txt") || fs::exists(MailFolder() + "/b.txt");
        });
        Unpacked got = Unpack("bob", forged);
        EXPECT_EQ(got.result, 0) << answer;
        EXPECT_EQ(got.key->nVerify, 0) << answer;
        EXPECT_EQ(host.MessageIds(), (std::vector<std::string>{"engine.BadSignature", "mail.KeepUnverified"}));
        EXPECT_FALSE(namedWhileAsked) << answer;
        const std::vector<std::string> kept =
            std::string(answer) == "yes" ? std::vector<std::string>{MailFolder() + "/a.txt", MailFolder() + "/b.txt"}
                                         : std::vector<std::string>{};
        EXPECT_EQ(got.files, kept) << answer;
        EXPECT_EQ(Restored(), kept) << answer << ": no temporary file stays";
    }
}
