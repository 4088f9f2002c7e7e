// The commands a user runs on their own files, as a script runs them: encrypt, share-encrypt
// and original; envelope and its decrypt; sign, verify and info; mail-pack and mail-unpack.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <tuple>

#include "CliTest.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "logon/CertProfile.h"
#include "logon/LogonKeys.h"
#include "signature/SignatureRecord.h"

namespace fs = std::filesystem;

namespace {

// The text between `before` and the next `end` in `text`; empty when `before` is not there.
std::string Between(const std::string& text, const std::string& before, char end) {
    size_t at = text.find(before);
    if (at == std::string::npos) return {};
    at += before.size();
    return text.substr(at, text.find(end, at) - at);
}

using UserCommands = CliTest;

}  // namespace

TEST_F(UserCommands, EncryptInPlaceTellTheOriginalAndDecryptBack) {
    AddUsers({"alice", "bob"});
    {
        TestLogon store(home);
        ASSERT_NE(store.AddGroup("team"), 0);
        ASSERT_TRUE(store.AddGroupMembers("team", {"bob"}));
    }
    fs::create_directories(dir / "docs/sub");
    WriteFile(dir / "docs/report.doc", "report");
    WriteFile(dir / "docs/sub/note.txt", "note");

    auto encrypted = As("alice", "encrypt " + dir / "docs");
    ASSERT_EQ(encrypted.exit, 0) << encrypted.err;
    const std::string package = Between(encrypted.out, "report.doc -> ", '\n');
    ASSERT_TRUE(package.size() > 16 && package.ends_with(".doc.vrk")) << encrypted.out;
    EXPECT_NE(encrypted.err.find("2 files encrypted, 0 skipped, 0 failed"), std::string::npos) << encrypted.err;
    EXPECT_FALSE(fs::exists(dir / "docs/report.doc"));

    auto told = As("alice", "original --json " + package);
    ASSERT_EQ(told.exit, 0) << told.err;
    EXPECT_NE(told.out.find("\"name\": \"report.doc\""), std::string::npos) << told.out;
    EXPECT_NE(told.out.find("\"size\": 6"), std::string::npos) << told.out;
    EXPECT_EQ(As("bob", "original " + package).exit, 1);

    auto restored = As("alice", "decrypt --to " + dir / "out " + package);
    ASSERT_EQ(restored.exit, 0) << restored.err;
    EXPECT_EQ(ReadFile(dir / "out/report.doc"), "report");

    ASSERT_EQ(Varnex("share grant " + dir / "shared @team").exit, 0);
    WriteFile(dir / "s.txt", "shared");
    auto shared = As("alice", "share-encrypt --json --share " + dir / "shared " + dir / "s.txt");
    ASSERT_EQ(shared.exit, 0) << shared.err;
    const std::string sharedPackage = Between(shared.out, "\"package\": \"", '"');
    ASSERT_FALSE(sharedPackage.empty()) << shared.out;
    auto bob = As("bob", "decrypt --to " + dir / "b " + sharedPackage);
    EXPECT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(ReadFile(dir / "b/s.txt"), "shared");
    // The share named through a link is the share; a path with no grant is said to be one.
    fs::create_directories(dir / "shared");
    fs::create_directory_symlink(dir / "shared", dir / "teamlink");
    WriteFile(dir / "s2.txt", "shared too");
    auto linked = As("alice", "share-encrypt --json --share " + dir / "teamlink " + dir / "s2.txt");
    ASSERT_EQ(linked.exit, 0) << linked.err;
    EXPECT_EQ(linked.err, "");
    EXPECT_EQ(As("bob", "decrypt --to " + dir / "b2 " + Between(linked.out, "\"package\": \"", '"')).exit, 0);
    WriteFile(dir / "s3.txt", "mine");
    EXPECT_TRUE(Ends(As("alice", "share-encrypt --share " + dir / "docs " + dir / "s3.txt"), 0,
                     "docs: no decryptors are granted for this path; the packages are made for you alone"));

    EXPECT_EQ(As("alice", "share-encrypt " + dir / "s.txt").exit, 2) << "--share is required";
    EXPECT_TRUE(Ends(As("alice", "encrypt " + dir / "nothing-here"), 1, "nothing-here: no such file or folder"));
    fs::create_symlink(dir / "s.txt", dir / "s.link");
    EXPECT_TRUE(Ends(As("alice", "encrypt " + dir / "s.link"), 1, "s.link: a link, left alone"));
}

// --quiet drops the progress and the summary, never what became of each file: a package's
// generated name is the only way to find the file it holds.
TEST_F(UserCommands, QuietStillPrintsWhatWasWritten) {
    AddUsers({"alice"});
    struct Case {
        std::string command;
        std::string expected;  // the start of standard output
    };
    const std::vector<Case> cases = {
        {"encrypt", dir / "q.txt -> " + dir.Path() + "/"},
        {"envelope -o " + dir / "q.vrk", dir / "q.vrk\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        WriteFile(dir / "q.txt", "quiet");
        auto quiet = As("alice", "--quiet " + c.command + " " + dir / "q.txt");
        EXPECT_EQ(quiet.exit, 0) << quiet.err;
        EXPECT_EQ(quiet.out.rfind(c.expected, 0), 0u) << quiet.out;
        EXPECT_EQ(quiet.err, "");
    }
}

// Every file passed over is named with its reason and counted, a plain file that only carries
// the package extension as much as a package; neither is touched.
TEST_F(UserCommands, EveryFilePassedOverIsNamedWithItsReason) {
    AddUsers({"alice"});
    fs::create_directories(dir / "sk");
    WriteFile(dir / "sk/old.txt", "packaged before");
    auto first = As("alice", "encrypt " + dir / "sk/old.txt");
    const std::string package = Between(first.out, " -> ", '\n');
    ASSERT_EQ(first.exit, 0) << first.err;
    struct Case {
        std::string name, reason, text;
    };
    const std::vector<Case> cases = {
        {fs::path(package).filename(), "package-name", "named as a package (.vrk)"},
        {"plain.vrk", "package-name", "named as a package (.vrk)"},
        {"doc.idi", "signature-name", "named as a signature file (.idi)"},
        {"~$doc.doc", "lock-file-name", "an Office lock file (~$)"},
    };
    for (const Case& c : cases)
        if (c.name != fs::path(package).filename()) WriteFile(dir / ("sk/" + c.name), "kept");
    WriteFile(dir / "sk/new.txt", "new");

    auto json = As("alice", "encrypt --json " + dir / "sk");
    EXPECT_EQ(json.exit, 0) << json.err;
    WriteFile(dir / "sk/new.txt", "new again");
    auto text = As("alice", "encrypt " + dir / "sk");
    EXPECT_EQ(text.exit, 0) << text.err;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / ("sk/" + c.name);
        EXPECT_NE(json.out.find("{\"source\": \"" + path + "\", \"reason\": \"" + c.reason + "\"}"), std::string::npos)
            << json.out;
        EXPECT_NE(text.err.find("varnex: " + path + ": passed over: " + c.text + "\n"), std::string::npos) << text.err;
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_EQ(ReadFile(dir / "sk/plain.vrk"), "kept");
    EXPECT_NE(json.out.find("\"source\": \"" + dir / "sk/new.txt\", \"package\": "), std::string::npos) << json.out;
    // The second run also passes over the package the first one made.
    EXPECT_NE(text.err.find("varnex: 1 file encrypted, 5 skipped, 0 failed"), std::string::npos) << text.err;
}

// A file with several names is encrypted once under each name it is named by; its content is
// wiped when the last of them goes, else it is left and said so once, by the name the message
// is about, and the command fails. Never counted twice, never both encrypted and failed.
TEST_F(UserCommands, AFileWithOtherNamesIsEncryptedOnceAndItsContentSaidTruly) {
    AddUsers({"alice"});
    const std::string left = "已加密，此名称已删除；当时还有其他名称指向其内容，内容未被擦除。";
    struct Case {
        const char* what;
        std::string other;  // the second name of e/h.txt
        int exit;
        std::string summary;
        bool contentLeft;  // h.txt is said to have left its content
    };
    const std::vector<Case> cases = {
        {"both names in the batch", dir / "e/h2.txt", 0, "3 files encrypted, 0 skipped, 0 failed", false},
        {"the other name elsewhere", dir / "elsewhere.txt", 1, "2 files encrypted (1 not wiped), 0 skipped, 0 failed",
         true},
        {"the other name passed over", dir / "e/h.idi", 1, "2 files encrypted (1 not wiped), 1 skipped, 0 failed",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool json : {false, true}) {
            fs::remove_all(dir / "e");
            fs::remove(dir / "elsewhere.txt");
            fs::create_directories(dir / "e");
            WriteFile(dir / "e/h.txt", "two names");
            fs::create_hard_link(dir / "e/h.txt", c.other);
            WriteFile(dir / "e/z.txt", "one name");
            auto run = As("alice", std::string("encrypt ") + (json ? "--json " : "") + dir / "e");
            EXPECT_EQ(run.exit, c.exit) << run.err;
            // One message, about h.txt and named by it; nothing at all when its content went.
            const std::string said = "varnex: " + dir / "e/h.txt: 文件\"" + dir / "e/h.txt\"" + left + "\n";
            size_t messages = 0;
            for (size_t at = run.err.find(left); at != std::string::npos; at = run.err.find(left, at + 1)) ++messages;
            EXPECT_EQ(messages, c.contentLeft ? 1u : 0u) << run.err;
            if (c.contentLeft) EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
            if (!c.contentLeft) EXPECT_EQ(run.err, json ? "" : "varnex: " + c.summary + "\n");
            if (json) {
                EXPECT_NE(run.out.find("\"source\": \"" + dir / "e/h.txt\""), std::string::npos) << run.out;
                EXPECT_EQ(run.out.find("\"source\": \"" + dir / "e/h.txt\""),
                          run.out.rfind("\"source\": \"" + dir / "e/h.txt\""))
                    << run.out;
                EXPECT_EQ(run.out.find("\"wiped\": false") != std::string::npos, c.contentLeft) << run.out;
                EXPECT_NE(run.out.find("\"failed\": []"), std::string::npos) << run.out;
            } else {
                EXPECT_NE(run.err.find("varnex: " + c.summary + "\n"), std::string::npos) << run.err;
            }
            EXPECT_FALSE(fs::exists(dir / "e/h.txt"));
            EXPECT_EQ(fs::exists(c.other), c.contentLeft);
            if (c.contentLeft) EXPECT_EQ(ReadFile(c.other), "two names");
        }
    }
}

TEST_F(UserCommands, TwoEncryptRunsOverOneFolderPackageEveryFileOnce) {
    AddUsers({"alice"});
    TempDir first, second;
    fs::create_directories(dir / "docs");
    const int files = 30;
    for (int i = 0; i < files; ++i) WriteFile(dir / ("docs/f" + std::to_string(i) + ".txt"), std::to_string(i));
    const std::string args = "--user alice encrypt " + dir / "docs";

    CliOutcome a, b;
    std::thread other([&] { a = RunVarnex(first, home, args, "VARNEX_PASSWORD=pw-alice"); });
    b = RunVarnex(second, home, args, "VARNEX_PASSWORD=pw-alice");
    other.join();
    // The run that falls behind may find a file already gone and stop there; the one ahead
    // finishes the folder.
    EXPECT_TRUE(a.exit == 0 || b.exit == 0) << a.err << b.err;
    int packages = 0;
    for (const auto& entry : fs::directory_iterator(dir / "docs")) {
        EXPECT_EQ(entry.path().extension(), ".vrk") << entry.path() << " was left behind";
        ++packages;
    }
    EXPECT_EQ(packages, files) << "a file was packaged by both runs\n" << a.err << b.err;
}

TEST_F(UserCommands, EnvelopePacksForListedUsersOpensForThemAndReportsFailuresByExitCode) {
    AddUsers({"alice", "bob", "carol"});
    fs::create_directories(dir / "data/docs");
    WriteFile(dir / "data/docs/a.txt", "alpha");

    auto packed = As("alice", "envelope -o " + dir / "e.vrk --to bob " + dir / "data/docs");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(As("alice", "envelope -o " + dir / "e.vrk --to bob " + dir / "data").exit, 1)
        << "an existing package is not replaced without --force";
    // A registered user's e-mail address names that user (bob opens it below).
    EXPECT_EQ(As("alice", "envelope --force -o " + dir / "e.vrk --to Bob@Example.org " + dir / "data").exit, 0);
    auto listed = Varnex("list " + dir / "e.vrk");
    EXPECT_EQ(listed.exit, 0) << listed.err;
    EXPECT_NE(listed.out.find("docs/a.txt"), std::string::npos) << "names are listed without a key: " << listed.out;

    EXPECT_TRUE(Ends(As("alice", "envelope -o " + dir / "n.vrk --to nobody " + dir / "data"), 1, "nobody"));
    // A group that gives nobody would leave the package to its sender alone.
    ASSERT_EQ(Varnex("group add empty").exit, 0);
    EXPECT_TRUE(Ends(As("alice", "envelope -o " + dir / "n.vrk --to @empty " + dir / "data"), 1,
                     "the group 'empty' has no member anything can be encrypted for\n"));
    EXPECT_TRUE(Ends(As("alice", "envelope -o " + dir / "n.vrk --to @nogroup " + dir / "data"), 1,
                     "@nogroup: no such group\n"));
    EXPECT_FALSE(fs::exists(dir / "n.vrk"));
    EXPECT_EQ(As("alice", "envelope --to bob " + dir / "data").exit, 2);

    EXPECT_TRUE(Ends(As("carol", "decrypt --to " + dir / "c " + dir / "e.vrk"), 1, "对不起,您没有解密此文件的权限."));
    // --test checks an envelope as its restore reads it: nothing written, nothing wiped; bytes
    // behind the signature are damage; with several packages each message names its package.
    auto sound = As("bob", "decrypt --test " + dir / "e.vrk");
    EXPECT_EQ(sound.exit, 0) << sound.err;
    EXPECT_NE(sound.err.find("e.vrk: sound; sent by Alice<alice@example.org> (certificate SHA-256 "), std::string::npos)
        << sound.err;
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 5) << "nothing written";
    WriteFile(dir / "tail.vrk", ReadFile(dir / "e.vrk") + "x");
    auto tail = As("bob", "decrypt --test " + dir / "tail.vrk " + dir / "e.vrk");
    EXPECT_EQ(tail.exit, 1);
    EXPECT_NE(tail.err.find(dir / "tail.vrk: 文件结构错."), std::string::npos) << tail.err;
    WriteFile(dir / "cut.vrk", ReadFile(dir / "e.vrk").substr(0, 400));
    EXPECT_TRUE(Ends(As("bob", "decrypt --to " + dir / "c " + dir / "cut.vrk " + dir / "tail.vrk"), 1,
                     "varnex: " + dir / "cut.vrk: "));
    fs::remove(dir / "cut.vrk");
    fs::remove(dir / "tail.vrk");
    auto kept = As("bob", "decrypt --to " + dir / "out --keep " + dir / "e.vrk");
    ASSERT_EQ(kept.exit, 0) << kept.err;
    EXPECT_EQ(ReadFile(dir / "out/data/docs/a.txt"), "alpha");
    EXPECT_TRUE(fs::exists(dir / "e.vrk"));
    fs::remove_all(dir / "out");
    auto opened = As("bob", "decrypt --to " + dir / "out " + dir / "e.vrk");
    EXPECT_EQ(opened.exit, 0) << opened.err;
    EXPECT_FALSE(fs::exists(dir / "e.vrk")) << "a restored package is wiped by default";
    EXPECT_NE(opened.err.find("wiped"), std::string::npos) << opened.err;
}

TEST_F(UserCommands, SignVerifyChangeAndDescribeFromTheCommandLine) {
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
    // The certificate that checked it, by the fingerprint the store lists.
    const std::string listed = Varnex("cert list").out;
    const std::string fingerprint = listed.substr(listed.find('\n', listed.find("user 1")) - 16, 16);
    CliOutcome proven = Varnex("verify --json '" + dir / "a.txt.idi" + "'");
    EXPECT_NE(proven.out.find("\"proven\": true, \"basis\": \"certificate\", \"certificate\": {\"subject\": \"Alice\", "
                              "\"email\": \"alice@example.org\", \"sha256\": \"" +
                              fingerprint),
              std::string::npos)
        << proven.out << listed;

    // A name that is not a signature file: the mistake is named, once, and nothing verified or
    // shown.
    ASSERT_EQ(mkfifo((dir / "pipe.idi").c_str(), 0600), 0);
    for (const auto& [command, name, said] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"verify", "a.txt", " is the signed file, not a signature file: verify " + dir / "a.txt.idi"},
             {"verify", "none.idi", ": 文件不存在"},
             {"verify", "pipe.idi", ": not a regular file"},
             {"info", "none.idi", ": 文件不存在"},
             {"info", "pipe.idi", ": not a regular file"}}) {
        CliOutcome wrong = Varnex(command + " '" + dir / name + "'");
        EXPECT_EQ(wrong.exit, 1) << command << ' ' << name;
        EXPECT_EQ(wrong.err, "varnex: " + dir / name + said + "\n");
        EXPECT_EQ(wrong.out, "") << command << ' ' << name;
    }

    // A's signature under the name of B's beside B proves nothing of B; under a name that is no
    // file's it is A's.
    WriteFile(dir / "b.txt", "not agreed");
    fs::copy_file(dir / "a.txt.idi", dir / "b.txt.idi");
    fs::copy_file(dir / "a.txt.idi", dir / "sig.idi");
    EXPECT_TRUE(Ends(Varnex("verify '" + dir / "b.txt.idi" + "'"), 1,
                     "b.txt.idi is the signature of " + dir / "a.txt, not of " + dir / "b.txt beside it\n"));
    EXPECT_EQ(Varnex("verify '" + dir / "sig.idi" + "'").exit, 0);

    WriteFile(dir / "a.txt", "agreeD");
    CliOutcome changed = Varnex("verify --json '" + dir / "a.txt.idi" + "'");
    EXPECT_EQ(changed.exit, 1);
    EXPECT_NE(changed.out.find("\"correct\": false"), std::string::npos) << changed.out;
    EXPECT_EQ(changed.err, "varnex: " + dir / "a.txt.idi: 数字签名验证不正确。\n");

    // A user ID rewritten to hold a line feed, an escape sequence and a byte that is not UTF-8:
    // verify refuses it (it names nobody), info shows it escaped and as not proven.
    {
        CKorvane e;
        CFile f;
        ASSERT_TRUE(f.Open(dir / "a.txt.idi", CFile::modeReadWrite));
        EncryptFlag head;
        auto record = std::make_unique<File_SignInfo>();
        ASSERT_EQ(e.ReadEncryptedFileHead(&f, &head, nullptr), 1);
        ASSERT_EQ(ReadSignatureRecord(e, &f, record.get()), 1);
        const std::string forged = "alice\n\x1b[2J\xff";
        record->userIdLength = static_cast<int32_t>(forged.size());
        std::memcpy(record->userId, forged.c_str(), forged.size() + 1);
        f.SetLength(0);
        ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);
        ASSERT_EQ(WriteSignatureRecord(e, &f, *record), 1);
    }
    WriteFile(dir / "a.txt", "agreed");
    EXPECT_EQ(Varnex("verify '" + dir / "a.txt.idi" + "'").err,
              "varnex: " + dir / "a.txt.idi: 签名文件中的签名人与验证数字签名的公钥证书不符, 签名人不能确认.\n")
        << "the reason, once";
    CliOutcome text = Varnex("info '" + dir / "a.txt.idi" + "'");
    EXPECT_NE(text.out.find("签名人:alice\\n\\x1b[2J\\xff(Alice<alice@example.org>)(文件所称, 未经验证)\n"),
              std::string::npos)
        << text.out;

    CliOutcome info = Varnex("info --json '" + dir / "a.txt.idi" + "' '" + dir / "a.txt" + "'");
    EXPECT_EQ(info.exit, 1) << "a.txt is not secured";
    EXPECT_NE(info.out.find("\"kind\": 4"), std::string::npos);
    EXPECT_NE(info.out.find("\"userId\": \"alice\\n\\u001b[2J\\\\xff\""), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\"proven\": false"), std::string::npos) << info.out;
    WriteFile(dir / "info.json", info.out);
    if (std::system("command -v python3 >/dev/null") == 0) {
        std::string check = "python3 -c 'import json,sys; json.load(open(sys.argv[1]))' '" + dir / "info.json" + "'";
        EXPECT_EQ(std::system(check.c_str()), 0) << info.out;
    }
}

// Every name sign does not sign is said once, by name, and the others are signed: a name that is
// no regular file, standard input, a replacement refused, and the files past the run's limit. A
// name given twice is signed once.
TEST_F(UserCommands, SignSaysEachNameItDoesNotSignAndSignsTheRest) {
    AddUsers({"alice"});
    WriteFile(dir / "c.txt", "c");
    fs::create_directories(dir / "folder");
    const std::string c = dir / "c.txt";
    const struct {
        std::string names;
        int exit;
        std::string err;
    } cases[] = {
        {"'" + dir / "folder" + "' " + c, 1, "varnex: " + dir / "folder: not a regular file\n"},
        {"'" + dir / "nope.txt" + "' " + c, 1, "varnex: " + dir / "nope.txt: 文件不存在\n"},
        {"- " + c, 1,
         "varnex: -: standard input cannot be signed: a signature file lies beside its file (./- names a file "
         "called -)\n"},
        {c + " " + c, 0, ""},
        {c + " '" + dir / "folder/../c.txt" + "'", 0, ""},
    };
    for (const auto& row : cases) {
        fs::remove(dir / "c.txt.idi");
        CliOutcome run = As("alice", "sign " + row.names);
        EXPECT_EQ(run.exit, row.exit) << row.names;
        EXPECT_EQ(run.err, row.err) << row.names;
        EXPECT_EQ(run.out, c + ".idi\n") << row.names;
    }

    // A signature file there already, its replacement refused: said by the question, not listed.
    CliOutcome kept = As("alice", "sign " + c);
    EXPECT_EQ(kept.exit, 1);
    EXPECT_EQ(kept.out, "");
    EXPECT_EQ(kept.err.rfind("varnex: 签名文件" + c + ".idi已存在", 0), 0u) << kept.err;

    fs::create_directories(dir / "many");
    std::string names;
    for (int i = 0; i < 203; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        const std::string path = dir / ("many/" + std::string(name));
        WriteFile(path, name);
        names += " '" + path + "'";
    }
    CliOutcome many = As("alice", "sign" + names);
    EXPECT_EQ(many.exit, 1);
    EXPECT_EQ(std::count(many.out.begin(), many.out.end(), '\n'), 200);
    EXPECT_EQ(many.err, "varnex: " + dir / "many/f200.txt" +
                            ": not signed, nor 2 more named after it: one run signs at most 200 files; sign them "
                            "in another run\n");
    EXPECT_TRUE(fs::exists(dir / "many/f199.txt.idi"));
    EXPECT_FALSE(fs::exists(dir / "many/f200.txt.idi"));
}

// A --to that names nobody is a slip: refused before anything is packed, not a package for none.
TEST_F(UserCommands, ToThatNamesNobodyIsAUsageError) {
    WriteFile(dir / "r.txt", "r");
    for (const std::string& command :
         std::vector<std::string>{"mail-pack --encrypt --to , ", "mail-pack --sign --to ' ; ' ",
                                  "envelope -o " + dir / "e.vrk --to ' , ' "}) {
        CliOutcome run = As("alice", command + dir / "r.txt");
        EXPECT_EQ(run.exit, 2) << command;
        EXPECT_EQ(run.err.rfind("varnex: --to '", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("' names no recipient\n"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << command;
    }
    EXPECT_FALSE(fs::exists(dir / "e.vrk"));
    // A file that is not there is said to be missing, not to be a folder.
    EXPECT_TRUE(Ends(As("alice", "mail-pack --sign --to bob " + dir / "gone.txt"), 1, "gone.txt: 文件不存在\n"));
}

// Mail packed for two recipients, unpacked by each (from a file and from standard input),
// refused for a third, and sent through the mail module.
// A correct signature is trusted as far as the certificate that checks it: on another machine
// one not yet confirmed is said so (and the report stands), one installed over a confirmed one
// under its name (a forger's "Alice") fails.
TEST_F(UserCommands, ASignatureIsTrustedAsFarAsItsCertificateIsConfirmed) {
    const std::string reader = dir / "reader";
    for (const std::string& suite : {std::string("forger"), std::string("suite")}) {
        home = dir / suite;
        AddUsers({"alice"});
        WriteFile(dir / (suite + ".txt"), "agreed");
        ASSERT_EQ(As("alice", "sign " + dir / (suite + ".txt")).exit, 0);
        ASSERT_EQ(Varnex("cert export alice " + dir / (suite + ".pem")).exit, 0);
    }
    home = reader;
    AddUsers({"bob"});
    ASSERT_EQ(Varnex("cert import " + dir / "suite.pem --name Alice").exit, 0);
    // Encrypting for her is trusted no further: refused, each state with its own reason.
    const auto envelopeFor = [&] {
        return As("bob", "envelope --force -o " + dir / "e.vrk --to Alice " + dir / "suite.txt");
    };
    EXPECT_TRUE(Ends(envelopeFor(), 1, "Alice: the certificate is installed but not confirmed;"));
    const std::string real = dir / "suite.txt.idi", forged = dir / "forger.txt.idi";
    CliOutcome unconfirmed = Varnex("verify --json " + real);
    EXPECT_EQ(unconfirmed.exit, 0) << unconfirmed.err;
    EXPECT_NE(unconfirmed.out.find("\"certificateState\": \"not confirmed\""), std::string::npos) << unconfirmed.out;
    EXPECT_TRUE(Ends(unconfirmed, 0, real + ": the signature is correct, but the signer's certificate has not been"));

    const std::string fingerprint =
        logon::SummarizeCert(logon::ReadCertificateFile(dir / "suite.pem").get()).fingerprint;
    ASSERT_EQ(Varnex("cert confirm Alice " + fingerprint).exit, 0);
    EXPECT_EQ(envelopeFor().exit, 0);
    CliOutcome confirmed = Varnex("verify " + real);
    EXPECT_EQ(confirmed.exit, 0);
    EXPECT_EQ(confirmed.err, "");

    // Swapping it takes --force, and even then the change shows.
    EXPECT_TRUE(Ends(Varnex("cert import " + dir / "forger.pem --name Alice"), 1,
                     "another certificate is installed as 'Alice'; it is replaced only when asked to (--force)\n"));
    ASSERT_EQ(Varnex("cert import " + dir / "forger.pem --name Alice --force").exit, 0);
    EXPECT_EQ(Varnex("verify " + forged).err,
              "varnex: " + forged +
                  ": the signature is correct for the certificate installed now, which is not the one confirmed "
                  "under that name: not trusted (cert list)\n");
    EXPECT_EQ(Varnex("verify " + forged).exit, 1);
    EXPECT_TRUE(Ends(envelopeFor(), 1, "Alice: the certificate changed since it was confirmed and is not used"));
}

// A mail signature's user ID is no part of what was signed: in a proven report it is the
// signer's user ID only when it names the certificate that checked the signature; any other
// text is reported as stated, and one naming someone else here is refused.
TEST_F(UserCommands, AMailSignaturesUserIdIsReportedAsProvenOnlyWhenItNamesTheSigner) {
    AddUsers({"alice", "bob"});
    WriteFile(dir / "m.txt", "mail text");
    ASSERT_EQ(As("alice", "sign --for-mail " + dir / "m.txt").exit, 0);
    const std::string signature = dir / "m.txt.idi";
    const struct {
        std::string userId;
        int exit;
        std::string field;
    } cases[] = {
        {"alice", 0, "\"userId\": \"alice\""},
        {"zzz", 0, "\"statedUserId\": \"zzz\""},
        {"bob@example.org", 0, "\"statedUserId\": \"bob@example.org\""},
        {"bob", 1, "\"correct\": false"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userId);
        {
            CKorvane e;
            CFile f;
            ASSERT_TRUE(f.Open(signature, CFile::modeReadWrite));
            EncryptFlag head;
            auto record = std::make_unique<File_SignInfo>();
            ASSERT_EQ(e.ReadEncryptedFileHead(&f, &head, nullptr), 1);
            ASSERT_EQ(ReadSignatureRecord(e, &f, record.get()), 1);
            record->userIdLength = static_cast<int32_t>(c.userId.size());
            std::memcpy(record->userId, c.userId.c_str(), c.userId.size() + 1);
            f.SetLength(0);
            ASSERT_EQ(e.WriteEncryptedFileHead(&f, &head), 1);
            ASSERT_EQ(WriteSignatureRecord(e, &f, *record), 1);
        }
        CliOutcome verified = Varnex("verify --json " + signature);
        EXPECT_EQ(verified.exit, c.exit) << verified.err;
        EXPECT_NE(verified.out.find(c.field), std::string::npos) << verified.out;
        if (c.exit == 0) {
            EXPECT_NE(verified.out.find("\"proven\": true"), std::string::npos) << verified.out;
            EXPECT_NE(verified.out.find("\"signer\": \"Alice<alice@example.org>\""), std::string::npos);
        } else {
            EXPECT_EQ(verified.err,
                      "varnex: " + signature + ": 签名文件中的签名人与验证数字签名的公钥证书不符, 签名人不能确认.\n");
        }
    }
}

// info on a file whose security information cannot be read (a signature file cut short at
// any point, a file that is not secured) says so once, naming the file, and exits 1.
TEST_F(UserCommands, InfoOnADamagedOrPlainFileSaysSoOnceByName) {
    AddUsers({"alice"});
    WriteFile(dir / "a.txt", "agreed");
    ASSERT_EQ(As("alice", "sign " + dir / "a.txt").exit, 0);
    const std::string whole = ReadFile(dir / "a.txt.idi");
    const std::string unreadable = "不能读取文件安全信息", damagedRecord = "CRC校验错,文件已损坏, 不能验证签名";
    for (const auto& [cut, said] : std::vector<std::pair<size_t, std::string>>{{0, unreadable},
                                                                               {10, unreadable},
                                                                               {100, unreadable},
                                                                               {whole.size() / 2, damagedRecord},
                                                                               {whole.size() - 1, damagedRecord}}) {
        SCOPED_TRACE(cut);
        const std::string damaged = dir / "t.idi";
        WriteFile(damaged, whole.substr(0, cut));
        for (const std::string& options : {std::string(), std::string("--json ")}) {
            CliOutcome info = Varnex("info " + options + damaged);
            EXPECT_EQ(info.exit, 1);
            EXPECT_EQ(info.err, "varnex: " + damaged + ": " + said + "\n");
            EXPECT_EQ(info.out.find("安全类型"), std::string::npos) << info.out;
        }
    }
    CliOutcome plain = Varnex("info " + dir / "a.txt");
    EXPECT_EQ(plain.exit, 1);
    EXPECT_EQ(plain.err, "varnex: " + dir / "a.txt: 不能读取文件安全信息\n");
    EXPECT_EQ(plain.out, "");
}

// original answers with one file's name, time and size only for a package of one file; a
// package of several files, of a folder, or a password package is sent to varnex list, once,
// with exit 1 and nothing on standard output, also under --json.
TEST_F(UserCommands, OriginalTellsOneFileAndSendsAnythingElseToList) {
    AddUsers({"alice"});
    WriteFile(dir / "f1", "one");
    WriteFile(dir / "f2", "two");
    fs::create_directories(dir / "d");
    WriteFile(dir / "d/x", "x");
    WriteFile(dir / "pw", "pw1pw1pw1\n");
    const std::string several = ": holds several files or folders, not one file; `varnex list` shows what it holds\n";
    const struct {
        std::string package, make, err;
    } cases[] = {
        {"one.vrk", "envelope -o " + dir / "one.vrk " + dir / "f1", ""},
        {"two.vrk", "envelope -o " + dir / "two.vrk " + dir / "f1 " + dir / "f2", several},
        {"dir.vrk", "envelope -o " + dir / "dir.vrk " + dir / "d", several},
        {"two.pkg", "--new-password-file " + dir / "pw pack -o " + dir / "two.pkg " + dir / "f1 " + dir / "f2",
         several},
        {"one.pkg", "--new-password-file " + dir / "pw pack -o " + dir / "one.pkg " + dir / "f1",
         ": a password package; `varnex list` shows what it holds\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        CliOutcome made = As("alice", c.make);
        ASSERT_EQ(made.exit, 0) << made.err;
        for (const std::string& options : {std::string(), std::string("--json ")}) {
            CliOutcome told = As("alice", "original " + options + dir / c.package);
            EXPECT_EQ(told.exit, c.err.empty() ? 0 : 1) << told.err;
            EXPECT_EQ(told.err, c.err.empty() ? "" : "varnex: " + dir / c.package + c.err);
            if (c.err.empty())
                EXPECT_NE(told.out.find("f1"), std::string::npos) << told.out;
            else
                EXPECT_EQ(told.out.find("f1"), std::string::npos) << told.out;
        }
    }
}

TEST_F(UserCommands, MailPackedForTwoUnpackedByEachRefusedForAThird) {
    AddUsers({"alice", "bob", "carol", "dave"});
    WriteFile(dir / "note.txt", "for bob and carol");
    CliOutcome packed = As("alice", "mail-pack --encrypt --sign --to bob,carol '" + dir / "note.txt" + "'");
    ASSERT_EQ(packed.exit, 0) << packed.err;
    const std::string package = packed.out.substr(0, packed.out.find('\n'));
    ASSERT_EQ(package.rfind(home + "/mail/", 0), 0u) << package;

    CliOutcome bob = As("bob", "mail-unpack '" + package + "'");
    ASSERT_EQ(bob.exit, 0) << bob.err;
    EXPECT_EQ(bob.out, home + "/mail/note.txt\nsigned by Alice<alice@example.org>: valid\n");
    EXPECT_EQ(ReadFile(home + "/mail/note.txt"), "for bob and carol");

    CliOutcome carol = As("carol", "mail-unpack --json -", package);
    ASSERT_EQ(carol.exit, 0) << carol.err;
    EXPECT_NE(carol.out.find("\"damaged\": false"), std::string::npos) << carol.out;
    EXPECT_NE(carol.out.find("\"signature\": \"valid\""), std::string::npos) << carol.out;

    CliOutcome dave = As("dave", "mail-unpack -", package);
    EXPECT_EQ(dave.exit, 1);
    EXPECT_EQ(dave.err, "varnex: 对不起,您没有解密此邮件的权限.\n");
    EXPECT_EQ(dave.out, "");

    // Sent: the package goes to the mail module as the one attachment, the recipients as To.
    fs::create_directories(dir / "modules");
    fs::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/mapi_recorder.so", dir / "modules/mapi.so");
    CliOutcome sent = As("alice", "mail-pack --sign --to bob,carol --send '" + dir / "note.txt" + "'", "/dev/null",
                         "VARNEX_MODULE_PATH='" + dir / "modules" + "' VARNEX_MAPI_RECORD='" + dir / "record" + "'");
    ASSERT_EQ(sent.exit, 0) << sent.err;
    const std::string second = sent.out.substr(0, sent.out.find('\n'));
    const std::string record = ReadFile(dir / "record");
    EXPECT_NE(record.find("to=bob@example.org\nto=carol@example.org\n"), std::string::npos) << record;
    EXPECT_NE(record.find("|" + second + "|" + fs::path(second).filename().string()), std::string::npos) << record;

    // With the module shipped beside the program and no desktop: the message stays in the outbox
    // and its path is shown on an indented line of its own.
    CliOutcome kept = As("alice", "mail-pack --encrypt --sign --to bob --send '" + dir / "note.txt" + "'");
    ASSERT_EQ(kept.exit, 0) << kept.err;
    std::vector<std::string> outbox;
    for (const auto& e : fs::directory_iterator(home + "/mail/outbox"))
        if (e.path().extension() == ".eml") outbox.push_back(e.path());
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(kept.err, "varnex: 邮件已保存在发件箱中, 请用邮件程序发送:\n  " + outbox[0] + "\n");

    CliOutcome nobody = As("alice", "mail-pack --encrypt --to nobody '" + dir / "note.txt" + "'");
    EXPECT_EQ(nobody.exit, 1);
    EXPECT_EQ(nobody.out, "");

    // Where the signer's certificate is not installed, the signature is not checked: a failure.
    CliOutcome signedOnly = As("alice", "mail-pack --sign --to bob '" + dir / "note.txt" + "'");
    ASSERT_EQ(signedOnly.exit, 0) << signedOnly.err;
    home = dir / "elsewhere";
    AddUsers({"erin"});
    CliOutcome unchecked = As("erin", "mail-unpack '" + signedOnly.out.substr(0, signedOnly.out.find('\n')) + "'");
    EXPECT_EQ(unchecked.exit, 1);
    EXPECT_NE(unchecked.out.find("no certificate installed to check it"), std::string::npos) << unchecked.out;
}

namespace {

// Whether `text` holds a CJK ideograph (U+4E00..U+9FFF: three UTF-8 bytes led by E4..E9).
bool HasChinese(const std::string& text) {
    for (size_t i = 0; i + 2 < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xE4 && lead <= 0xE9 && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) return true;
    }
    return false;
}

}  // namespace

// A wrong password, a refused recipient, a damaged package, the verification report and `info`
// in each language: English shows no Chinese, Chinese and the C locale the engine's own texts.
TEST_F(UserCommands, MessagesFollowTheLanguage) {
    AddUsers({"alice", "bob", "carol"});
    WriteFile(dir / "a.txt", "agreed");
    WriteFile(dir / "pw", "secret-1\n");
    WriteFile(dir / "wrong", "secret-2\n");
    ASSERT_EQ(As("alice", "sign " + dir / "a.txt").exit, 0);
    ASSERT_EQ(Varnex("--new-password-file " + dir / "pw" + " pack -o " + dir / "p.pkg " + dir / "a.txt").exit, 0);
    ASSERT_EQ(As("alice", "envelope -o " + dir / "e.vrk --to bob " + dir / "a.txt").exit, 0);
    std::string damaged = ReadFile(dir / "p.pkg");
    damaged[damaged.size() / 2] ^= 0x40;
    WriteFile(dir / "d.pkg", damaged);

    struct Case {
        const char* env;
        const char* wrongPassword;
        const char* notRecipient;
        const char* verdict;
        const char* security;
        const char* usageError;  // the program's own line and usage
        const char* help;
    } cases[] = {
        {"LANG=en_US.UTF-8", "Sorry, that password is not correct.", "Sorry, you are not allowed to decrypt this file.",
         "Result: the digital signature is valid", "Security type: password encryption",
         "varnex: nothing to pack\nusage: varnex pack -o", "usage: varnex pack -o PACKAGE"},
        {"LANG=C LANGUAGE=en", "Sorry, that password is not correct.",
         "Sorry, you are not allowed to decrypt this file.", "Result: the digital signature is valid",
         "Security type: password encryption", "varnex: nothing to pack\nusage: varnex pack -o",
         "usage: varnex pack -o PACKAGE"},
        {"LANG=zh_CN.UTF-8", "对不起，密码错!", "对不起,您没有解密此文件的权限.", "验证结果：验证数字签名正确",
         "安全类型: 密码加密", "varnex: 没有要打包的内容\n用法: varnex pack -o", "用法: varnex pack -o PACKAGE"},
        {"LANG=C", "对不起，密码错!", "对不起,您没有解密此文件的权限.", "验证结果：验证数字签名正确",
         "安全类型: 密码加密", "varnex: nothing to pack\nusage: varnex pack -o", "usage: varnex pack -o PACKAGE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env);
        const CliOutcome wrong =
            Varnex("--package-password-file " + dir / "wrong" + " decrypt --to " + dir / "o " + dir / "p.pkg", c.env);
        EXPECT_TRUE(Ends(wrong, 1, c.wrongPassword));
        EXPECT_TRUE(
            Ends(As("carol", "decrypt --to " + dir / "c " + dir / "e.vrk", "/dev/null", c.env), 1, c.notRecipient));
        const CliOutcome broken =
            Varnex("--package-password-file " + dir / "pw" + " decrypt --to " + dir / "b " + dir / "d.pkg", c.env);
        EXPECT_EQ(broken.exit, 1) << broken.err;
        const CliOutcome report = Varnex("verify " + dir / "a.txt.idi", c.env);
        EXPECT_EQ(report.out.rfind(c.verdict, 0), 0u) << report.out;
        const CliOutcome info = Varnex("info " + dir / "p.pkg", c.env);
        EXPECT_NE(info.out.find(c.security), std::string::npos) << info.out;
        const CliOutcome usage = Varnex("pack -o " + dir / "n.pkg", c.env);
        EXPECT_EQ(usage.exit, 2);
        EXPECT_EQ(usage.err.rfind(c.usageError, 0), 0u) << usage.err;
        const CliOutcome help = Varnex("pack --help", c.env);
        EXPECT_EQ(help.out.rfind(c.help, 0), 0u) << help.out;
        if (std::string(c.env).find("en") != std::string::npos) {
            for (const CliOutcome* o : {&wrong, &broken, &report, &info, &usage, &help})
                EXPECT_FALSE(HasChinese(o->out + o->err)) << o->out << o->err;
        } else {
            EXPECT_TRUE(HasChinese(broken.err)) << broken.err;
        }
        if (std::string(c.env).find("zh") != std::string::npos) {
            EXPECT_TRUE(HasChinese(help.out)) << help.out;
        }
    }
}

// A user on a token from the command line, through the default module (the p11-kit proxy, which
// lists SoftHSM2): the PIN comes from --pin-file, the signature verifies for others, and a
// wrong PIN file is said once, without a second message of the signature's own.
TEST_F(UserCommands, ATokenUserSignsWithThePinFromAFile) {
    const std::string conf = MakeSoftHsmToken(dir.Path());
    if (conf.empty() || access("/usr/lib/x86_64-linux-gnu/p11-kit-proxy.so", R_OK) != 0)
        GTEST_SKIP() << "softhsm2 or the p11-kit proxy is not installed";
    const std::string env = "SOFTHSM2_CONF='" + conf + "'";
    for (auto [name, text] : {std::pair{"pin", "123456"}, {"wrong", "654321"}, {"new", "pw-bob"}}) {
        WriteFile(dir / name, std::string(text) + "\n");
        fs::permissions(dir / name, fs::perms::owner_read | fs::perms::owner_write);
    }
    CliOutcome added = Varnex("--new-password-file '" + dir / "new" + "' --pin-file '" + dir / "pin" +
                                  "' user add bob --name Bob --email bob@example.org --device 'pkcs11:token=varnex'",
                              env);
    ASSERT_EQ(added.exit, 0) << added.err;
    CliOutcome listed = Varnex("user list");
    EXPECT_NE(listed.out.find("token \"varnex\" (pkcs11:token=varnex)"), std::string::npos) << listed.out;
    WriteFile(dir / "a.txt", "agreed");
    WriteFile(dir / "b.txt", "agreed too");
    CliOutcome signedOut = As("bob", "--pin-file '" + dir / "pin" + "' sign '" + dir / "a.txt" + "'", "/dev/null", env);
    ASSERT_EQ(signedOut.exit, 0) << signedOut.err;
    CliOutcome verified = Varnex("verify '" + dir / "a.txt.idi" + "'");
    EXPECT_EQ(verified.exit, 0) << verified.err;
    // The RSA self-test of a token user opens a wrapped key on the token; no key comes out.
    CliOutcome selftest = As("bob", "--pin-file '" + dir / "pin" + "' selftest --rsa", "/dev/null", env);
    EXPECT_EQ(selftest.exit, 0) << selftest.err;
    EXPECT_NE(selftest.out.find("RSA key pair of bob: passed"), std::string::npos) << selftest.out;

    CliOutcome wrong = As("bob", "--pin-file '" + dir / "wrong" + "' sign '" + dir / "b.txt" + "'", "/dev/null", env);
    EXPECT_EQ(wrong.exit, 1);
    EXPECT_EQ(wrong.err.rfind("varnex: 令牌“varnex”的PIN不正确", 0), 0u) << wrong.err;
    EXPECT_EQ(std::count(wrong.err.begin(), wrong.err.end(), '\n'), 1) << wrong.err;
    EXPECT_FALSE(fs::exists(dir / "b.txt.idi"));
    CliOutcome missing = As("bob", "--pin-file '" + dir / "none" + "' sign '" + dir / "b.txt" + "'", "/dev/null", env);
    EXPECT_EQ(missing.err, "varnex: 无法读取PIN文件" + dir / "none" + "。\n");
}
