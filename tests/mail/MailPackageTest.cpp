// Mail packages from the sender's files to each recipient's mail folder.

#include <fcntl.h>

#include <set>

#include "MailFixture.h"
#include "formats/ProtectedFields.h"
#include "mail/MailLayout.h"

namespace fs = std::filesystem;

namespace {

const char kNotRecipient[] = "对不起,您没有解密此邮件的权限.";

}  // namespace

TEST_F(MailPackageTest, EncryptedAndSignedMailReachesEachRecipientAndNobodyElse) {
    WriteFile(dir / "a.txt", "alpha");
    WriteFile(dir / "b.bin", RandomBytes(2 * kStreamBlockSize + 77, 5));  // across block boundaries
    const time_t past = 1000000000;
    struct timespec times[2] = {{past, 0}, {past, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir / "a.txt").c_str(), times, 0), 0);
    ::chmod((dir / "b.bin").c_str(), 0400);

    AddUsers({"carol", "dave"});
    const std::string package = Pack(kMailFlagEncrypt | kMailFlagSign, "bob; CAROL", {"a.txt", "b.bin"});
    ASSERT_FALSE(package.empty());
    EXPECT_EQ(fs::path(package).parent_path(), fs::path(MailFolder()));
    EXPECT_EQ(fs::path(package).filename().string().rfind("Quillet附件_", 0), 0u);
    const std::string bytes = ReadFile(package);
    EXPECT_EQ(bytes.find("alpha"), std::string::npos);

    std::string signer;
    logon.GetSignerName("alice", signer);
    for (const std::string reader : {"bob", "carol"}) {
        Unpacked got = Unpack(reader, bytes, reader == "carol");
        ASSERT_EQ(got.result, 1) << reader;
        ASSERT_EQ(got.files.size(), 2u);
        EXPECT_EQ(got.files[0], MailFolder() + "/a.txt");
        EXPECT_EQ(ReadFile(got.files[0]), "alpha");
        EXPECT_EQ(ModifiedAt(got.files[0]), past);
        EXPECT_EQ(ReadFile(got.files[1]), ReadFile(dir / "b.bin"));
        struct stat st {};
        ::stat(got.files[1].c_str(), &st);
        EXPECT_EQ(st.st_mode & 0222, 0u) << "the read-only attribute travels";
        EXPECT_EQ(got.key->nVerify, 1);
        EXPECT_EQ(got.key->nUserData, 77);
        EXPECT_STREQ(got.key->szSigner, signer.c_str());
        EXPECT_EQ(got.key->szSecondFile, got.files[1]);
        EXPECT_TRUE(host.Messages().empty()) << host.Messages()[0].text;
        for (const std::string& f : got.files) fs::remove(f);
    }

    Unpacked refused = Unpack("dave", bytes);
    EXPECT_EQ(refused.result, 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, kNotRecipient);
    EXPECT_TRUE(Restored().empty());
    host.Clear();
    EXPECT_EQ(Unpack("dave", bytes, true, 1).result, 0);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(MailPackageTest, SignedOnlyIsCopiedOutAndAChangedByteIsListedAsDamaged) {
    WriteFile(dir / "s.txt", "signed text");
    AddUsers({"dave"});
    const std::string package = Pack(kMailFlagSign, "bob", {"s.txt"});
    ASSERT_FALSE(package.empty());
    const std::string bytes = ReadFile(package);
    EXPECT_NE(bytes.find("signed text"), std::string::npos) << "stored as it is";
    Unpacked got = Unpack("dave", bytes);  // anyone may read a mail that is only signed
    ASSERT_EQ(got.result, 1);
    EXPECT_EQ(ReadFile(got.files.at(0)), "signed text");
    EXPECT_EQ(got.key->nVerify, 1);
    EXPECT_STREQ(got.key->szSecondFile, "") << "one file only";

    // A changed plain byte is caught by its CRC, after the file was written; it is listed.
    std::string changed = bytes;
    changed[changed.find("signed text")] = 'S';
    host.Clear();
    got = Unpack("dave", changed);
    EXPECT_EQ(got.result, 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "文件内容CRC校验错. ");
    EXPECT_EQ(got.files.size(), 1u);
    EXPECT_EQ(got.key->szDamagedFile, got.files.at(0));
}

// A package of another type is enciphered under a key its caller holds: a caller that gives
// none is refused, never served content "decrypted" with a key of zeros.
TEST_F(MailPackageTest, EncryptedMailOfTheCallersKeyIsRefusedWithoutOne) {
    WriteFile(dir / "k.txt", "keyed text");
    LogOn("alice");
    std::string signer;
    logon.GetSignerName("alice", signer);
    const std::string package = PackMail(kMailFlagEncrypt, "bob", {dir / "k.txt"}, signer, 0);
    ASSERT_FALSE(package.empty());
    Unpacked got = Unpack("bob", ReadFile(package));
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"mail.UnwrapFailed"});
    EXPECT_TRUE(got.files.empty());
    EXPECT_EQ(Restored(), std::vector<std::string>{}) << "nothing written";
}

TEST_F(MailPackageTest, RecipientWithoutCertificateStopsPackingAndLeavesNoPackage) {
    WriteFile(dir / "f.txt", "x");
    EXPECT_EQ(Pack(kMailFlagEncrypt | kMailFlagSign, "bob;nobody", {"f.txt"}), "");
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "nobody \n\n没有对应的公钥证书");
    EXPECT_TRUE(fs::is_empty(MailFolder())) << "neither the package nor its temporary file";

    // A source that cannot be opened, or whose path no index entry can name, stops it too.
    for (const std::string& name : {std::string("missing.txt"), std::string(270, 'x')}) {
        host.Clear();
        EXPECT_EQ(Pack(kMailFlagEncrypt, "bob", {"f.txt", name, "f.txt"}), "");
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_EQ(host.Messages()[0].text,
                  "不能打开文件\"" + dir / name + "\"，可能文件正在被使用或者您没有该文件的读权限.");
        EXPECT_TRUE(fs::is_empty(MailFolder()));
    }
}

namespace {

// A scripted host that also counts the bytes the block loops report.
class CountingHost : public ScriptedHost {
public:
    void WorkDone(uint64_t bytes) override { done += bytes; }
    uint64_t done = 0;
};

}  // namespace

// Mail sets follow the packages' rule: no content may start beyond 1,500,000,000 bytes (the
// second set's third file would start at about 1.6e9, still within 32-bit offsets), none may be
// 2 GiB. The set is refused from the files' sizes, before any byte of them is read.
TEST_F(MailPackageTest, SetBeyondThePackageLimitIsRefusedBeforeAnyFileIsRead) {
    for (auto [name, size] :
         {std::pair{"half", int64_t{1000000000}}, {"more", int64_t{600000000}}, {"whole", int64_t{1} << 31}}) {
        int fd = ::open((dir / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
    }
    WriteFile(dir / "small", "x");
    for (const std::vector<std::string>& set : {std::vector<std::string>{"whole"}, {"half", "more", "small"}}) {
        CountingHost counting;
        ScopedUiHost installed(counting);
        EXPECT_EQ(Pack(kMailFlagSign, "bob", set), "") << set.size();
        EXPECT_EQ(counting.MessageIds(), std::vector<std::string>{"mail.TooLarge"});
        EXPECT_EQ(counting.done, 0u) << "nothing was read";
        EXPECT_TRUE(fs::is_empty(MailFolder()));
    }
}

TEST_F(MailPackageTest, IdenticalNamesFromTwoFoldersAreKeptApart) {
    fs::create_directories(dir / "x");
    fs::create_directories(dir / "y");
    WriteFile(dir / "x/same.txt", "one");
    WriteFile(dir / "y/same.txt", "two");
    const std::string package = Pack(kMailFlagEncrypt, "bob", {"x/same.txt", "y/same.txt"});
    ASSERT_FALSE(package.empty());
    // An earlier mail's file of that name stays; both of this mail take numbered names.
    WriteFile(MailFolder() + "/same.txt", "old");
    Unpacked got = Unpack("bob", ReadFile(package));
    ASSERT_EQ(got.result, 1);
    ASSERT_EQ(got.files.size(), 2u);
    EXPECT_EQ(got.files[0], MailFolder() + "/same0.txt");
    EXPECT_EQ(got.files[1], MailFolder() + "/same1.txt");
    EXPECT_EQ(ReadFile(MailFolder() + "/same.txt"), "old");
    EXPECT_EQ(ReadFile(got.files[0]), "one");
    EXPECT_EQ(ReadFile(got.files[1]), "two");
    EXPECT_EQ(got.key->szSecondFile, got.files[1]);
    EXPECT_EQ(got.key->nVerify, 2) << "nothing to verify";
}

TEST(MailFileNames, ATakenNameIsNumberedBeforeItsExtension) {
    const struct {
        const char* path;
        std::set<std::string> taken;
        const char* expected;
    } cases[] = {
        {"/m/report.txt", {}, "/m/report.txt"},
        {"/m/report.txt", {"/m/report.txt"}, "/m/report0.txt"},
        {"/m/report.txt", {"/m/report.txt", "/m/report0.txt", "/m/report1.txt"}, "/m/report2.txt"},
        {"/m/same", {"/m/same"}, "/m/same0"},
        {"/m/-rf", {"/m/-rf"}, "/m/-rf0"},
        {"/m/c.tar.gz", {"/m/c.tar.gz"}, "/m/c.tar0.gz"},
        {"/m/.profile", {"/m/.profile"}, "/m/.profile0"},
        {"/m/x.d/notes", {"/m/x.d/notes"}, "/m/x.d/notes0"},
        {"/m/end.", {"/m/end."}, "/m/end0."},
    };
    for (const auto& c : cases) {
        auto usable = [&](const std::string& candidate) { return c.taken.count(candidate) == 0; };
        EXPECT_EQ(NumberedFreeName(c.path, usable), c.expected) << c.path;
    }
}
