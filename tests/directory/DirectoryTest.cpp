// Recipients from the organisation's directory, against a real OpenLDAP server the fixture
// starts on a free local port and loads with people, certificates and groups.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/x509v3.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "TestLogon.h"
#include "advanced/AdvanceEmcrypt.h"
#include "directory/DirectoryClient.h"
#include "directory/DirectoryRecipients.h"
#include "directory/DirectoryServer.h"
#include "directory/Messages.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonKeys.h"

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> Der(X509* cert) { return logon::CertToDer(cert); }

// A certificate of the store's own kind for name and address, then changed by `change` and
// signed again.
std::vector<unsigned char> MadeCert(const std::string& id, const std::string& email,
                                    const std::function<void(X509*)>& change = {}) {
    logon::PkeyPtr key = TestRsaKey(id);
    logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), id, email);
    if (change) {
        change(cert.get());
        X509_sign(cert.get(), key.get(), EVP_sha256());
    }
    return Der(cert.get());
}

void Expire(X509* cert) {
    X509_gmtime_adj(X509_getm_notBefore(cert), -3 * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), -86400);
}

// A comment of a megabyte makes the certificate that large.
void Enlarge(X509* cert) {
    std::string comment(1 << 20, 'x');
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, nullptr, NID_netscape_comment, comment.c_str());
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

void ForServersOnly(X509* cert) {
    X509_EXTENSION_free(X509_delete_ext(cert, X509_get_ext_by_NID(cert, NID_ext_key_usage, -1)));
    X509_EXTENSION* eku = X509V3_EXT_conf_nid(nullptr, nullptr, NID_ext_key_usage, "serverAuth");
    X509_add_ext(cert, eku, -1);
    X509_EXTENSION_free(eku);
}

// A member of a group: a user of a suite of its own, whose certificate the directory holds.
struct Member {
    std::string id;
    std::unique_ptr<TestLogon> store;
};

std::string MemberId(int i) { return "m" + std::to_string(100 + i).substr(1); }

}  // namespace

class Directory : public LogonHostTest {
protected:
    static void SetUpTestSuite() {
        server = new DirectoryServer;
        if (!server->Running()) return;
        bobStore = new TestLogon;
        bobStore->AddUser("bob", "Bob", "bob@example.org", "pw-bob");
        std::string pem;
        bobStore->ExportCert("bob", pem, true);
        server->AddPerson("bob", "Bob", "bob@example.org", {{pem.begin(), pem.end()}});
        server->AddPerson("big", "Big", "big@example.org", {MadeCert("big", "big@example.org", Enlarge)});
        server->AddPerson("nocert", "No Cert", "nocert@example.org", {});
        server->AddPerson("other", "Other", "other@example.org", {MadeCert("other", "carol@example.org")});
        server->AddPerson("expired", "Expired", "expired@example.org",
                          {MadeCert("expired", "expired@example.org", Expire)});
        server->AddPerson("server", "Server", "server@example.org",
                          {MadeCert("server", "server@example.org", ForServersOnly)});
        server->AddPerson("twin1", "Twin", "twin@example.org", {MadeCert("twin", "twin@example.org")});
        server->AddPerson("twin2", "Twin", "twin@example.org", {MadeCert("twin", "twin@example.org")});
        server->AddGroup("crew", {"bob", "expired"});
        // One search answering 10,000 entries.
        server->AddCrowd("many", "many@example.org", 10000);
    }
    // The group "team": 50 members, each a user of a suite of its own, and one whose certificate
    // expired. Made by the one test that needs it: 50 keys take a while.
    static void MakeTeam() {
        if (members != nullptr) return;
        std::vector<std::string> team;
        members = new std::vector<Member>;
        for (int i = 0; i < 50; ++i) {
            Member m{MemberId(i), std::make_unique<TestLogon>()};
            m.store->AddUser(m.id, "Member " + m.id, m.id + "@example.org", "pw-" + m.id);
            std::string der;
            m.store->ExportCert(m.id, der, true);
            server->AddPerson(m.id, "Member " + m.id, m.id + "@example.org", {{der.begin(), der.end()}});
            team.push_back(m.id);
            members->push_back(std::move(m));
        }
        team.push_back("expired");
        server->AddGroup("team", team);
    }
    static void TearDownTestSuite() {
        delete members;
        delete bobStore;
        delete server;
    }

    void SetUp() override {
        if (!server->Running()) GTEST_SKIP() << "slapd did not start";
        AddUsers({"alice"});
        UseDirectory(server->Uri());
    }
    void UseDirectory(const std::string& uri, const std::string& startTls = "FALSE", const std::string& caFile = {}) {
        ASSERT_TRUE(logon.SetOptions("Directory", {{"URI", uri},
                                                   {"Base", DirectoryServer::kBase},
                                                   {"TimeLimit", "2"},
                                                   {"StartTLS", startTls},
                                                   {"CAFile", caFile}}));
    }
    directory::Client Connected() {
        directory::Settings settings;
        std::string error;
        EXPECT_TRUE(directory::ReadSettings(logon, settings, error)) << error;
        return directory::Client(settings);
    }
    // Confirms every certificate shown, keeping what was shown.
    directory::ConfirmCert ConfirmAll() {
        return [this](const directory::Person& person, const logon::CertSummary& summary) {
            shown.push_back(person.mail + " " + summary.fingerprint);
            return true;
        };
    }
    int PackFor(const std::vector<std::string>& to, const std::string& name) {
        LogOn("alice");
        WriteFile(dir / "plan.txt", "the plan");
        CKorvane e;
        EnvelopePackRequest request;
        request.packagePath = dir / name;
        request.paths = {dir / "plan.txt"};
        request.baseFolder = dir.Path();
        request.recipients = to;
        return PackEnvelope(e, request);
    }
    // The reader opens the package in a suite of its own; the plain text comes back.
    std::string OpenAs(TestLogon& store, const std::string& id, const std::string& package) {
        ScopedLogonLibrary installed(&store);
        EXPECT_TRUE(store.LogOn(id, "pw-" + id));
        const std::string out = dir / ("out-" + id);
        fs::create_directories(out);
        CKorvane e;
        e.m_presetOutFolder = out;
        host.AddAnswer("yes-no", "yes");
        e.EnvelopDecryptFiles((dir / package).c_str(), nullptr, 0, 0);
        store.LogOff();
        return fs::exists(out + "/plan.txt") ? ReadFile(out + "/plan.txt") : std::string();
    }

    // The SHA-256 fingerprint of bob's certificate, with colons.
    std::string BobFingerprint() {
        std::string der;
        EXPECT_TRUE(bobStore->ExportCert("bob", der, true));
        logon::X509Ptr cert = logon::CertFromDer({der.begin(), der.end()});
        return logon::SummarizeCert(cert.get()).fingerprint;
    }

    static inline DirectoryServer* server = nullptr;
    static inline TestLogon* bobStore = nullptr;
    static inline std::vector<Member>* members = nullptr;
    std::vector<std::string> shown;
};

// Each thing a hostile or careless directory can answer is refused with its own message; the
// client's memory stays small while it refuses them (measured in a child process of its own).
TEST_F(Directory, HostileEntriesAreRefusedEachWithItsMessage) {
    using namespace msg::directory;
    const struct {
        const char* name;
        std::string expected;  // the message, or its beginning
    } rows[] = {
        {"big@example.org",
         MessageText(CertTooLarge, "big@example.org", size_t{1} << 20, directory::kMaxCertBytes).substr(0, 40)},
        {"many@example.org", MessageText(TooManyEntries, directory::kMaxEntries, "many@example.org")},
        {"other@example.org", MessageText(CertOtherAddress, "other@example.org", "carol@example.org")},
        {"expired@example.org", MessageText(CertUnusable, "expired@example.org", "")},
        {"server", MessageText(CertUnusable, "server", "")},
        {"twin@example.org", MessageText(SeveralEntries, size_t{2}, "twin@example.org")},
        {"nocert@example.org", MessageText(NoCertificate, "nocert@example.org")},
        {"nobody@example.org", MessageText(NotFound, "nobody@example.org")},
        // Filter syntax in a name matches nobody instead of everybody.
        {"*", MessageText(NotFound, "*")},
        {"bob)(uid=*", MessageText(NotFound, "bob)(uid=*")},
    };
    EXPECT_EQ(directory::EscapeFilterValue(std::string("a*(b)\\c\0", 8)), "a\\2a\\28b\\29\\5cc\\00");
    pid_t child = fork();
    if (child == 0) {
        directory::Client client = Connected();
        int wrong = 0;
        for (const auto& row : rows) {
            directory::Person person;
            if (client.FindPerson(row.name, person) || client.Error().rfind(row.expected, 0) != 0) {
                std::fprintf(stderr, "%s: %s\n", row.name, client.Error().c_str());
                ++wrong;
            }
        }
        _exit(wrong);
    }
    int status = 0;
    rusage usage{};
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "rows refused wrongly (see above)";
#if !defined(__SANITIZE_ADDRESS__)  // the address sanitizer's shadow memory is not the program's
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak memory in KiB";
#endif
    directory::Person bob;
    directory::Client client = Connected();
    EXPECT_TRUE(client.FindPerson("bob", bob)) << client.Error();
    EXPECT_EQ(bob.mail, "bob@example.org");
}

// Someone the store does not know receives an envelope once the directory's certificate is
// confirmed; refused, nothing is kept and nothing is packed.
TEST_F(Directory, UnknownRecipientGetsEnvelopeOnlyAfterConfirmingTheCertificate) {
    directory::Resolved resolved;
    std::string error;
    auto refuse = [](const directory::Person&, const logon::CertSummary&) { return false; };
    EXPECT_FALSE(directory::ResolveRecipients(logon, {"bob@example.org"}, refuse, resolved, error));
    const std::string notConfirmed = MessageText(msg::directory::NotConfirmed, "bob@example.org", "");
    EXPECT_EQ(error.rfind(notConfirmed.substr(0, notConfirmed.find("(--answers")), 0), 0u) << error;
    EXPECT_EQ(logon.RecipientState("bob"), kCertUnknown);
    EXPECT_EQ(PackFor({"bob@example.org"}, "refused.vrk"), 0);

    ASSERT_TRUE(directory::ResolveRecipients(logon, {"bob"}, ConfirmAll(), resolved, error)) << error;
    ASSERT_EQ(resolved.recipients, std::vector<std::string>{"bob"});
    ASSERT_EQ(shown.size(), 1u);
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(logon.ListCerts(certs));
    bool cached = false;
    for (const auto& c : certs)
        cached = cached || (c.record.name == "bob" && c.state == kCertConfirmed &&
                            c.source == server->Uri() + " " + DirectoryServer::PersonDn("bob"));
    EXPECT_TRUE(cached);
    ASSERT_EQ(PackFor(resolved.recipients, "e.vrk"), 1);
    EXPECT_EQ(OpenAs(*bobStore, "bob", "e.vrk"), "the plan");
    // Cached: the next use asks nobody.
    ASSERT_TRUE(directory::ResolveRecipients(logon, {"bob@example.org"}, nullptr, resolved, error)) << error;
}

// A directory group of 50 with a member whose certificate expired: one package all 50 open;
// the expired member is named in one notice and left out.
TEST_F(Directory, GroupOfFiftyReceivesOnePackageAndTheExpiredMemberIsNamed) {
    MakeTeam();
    directory::Resolved resolved;
    std::string error;
    ASSERT_TRUE(directory::ResolveRecipients(logon, {"@team"}, ConfirmAll(), resolved, error)) << error;
    EXPECT_EQ(resolved.recipients.size(), 50u);
    EXPECT_EQ(resolved.notice, MessageText(msg::directory::MembersLeftOut, "team", "expired@example.org"));
    ASSERT_EQ(PackFor(resolved.recipients, "team.vrk"), 1);
    for (Member& m : *members) EXPECT_EQ(OpenAs(*m.store, m.id, "team.vrk"), "the plan") << m.id;
}

// The directory stops answering half-way through the recipients: one message, no package.
TEST_F(Directory, ServerStoppedMidBatchGivesOneMessageAndNoPackage) {
    DirectoryServer own;
    ASSERT_TRUE(own.Running());
    std::string der;
    ASSERT_TRUE(bobStore->ExportCert("bob", der, true));
    own.AddPerson("bob", "Bob", "bob@example.org", {{der.begin(), der.end()}});
    own.AddGroup("pair", {"bob"});
    UseDirectory(own.Uri());
    auto stopAfterFirst = [&](const directory::Person&, const logon::CertSummary&) {
        own.Stop();
        return true;
    };
    directory::Resolved resolved;
    std::string error;
    EXPECT_FALSE(directory::ResolveRecipients(logon, {"@pair", "carol@example.org"}, stopAfterFirst, resolved, error));
    EXPECT_EQ(error.rfind(MessageText(msg::directory::StoppedAnswering, own.Uri(), ""), 0), 0u) << error;
    EXPECT_TRUE(resolved.recipients.empty());
    EXPECT_FALSE(fs::exists(dir / "e.vrk"));
}

// A directory over TLS is used only when its certificate chains to the CA file set up: over
// ldaps and over StartTLS alike. Refused, it gives one message and no recipients; a server that
// offers no TLS is never spoken to in plain text when StartTLS is asked for.
TEST_F(Directory, TlsDirectoryIsUsedOnlyWhenItsCertificateIsTrusted) {
    DirectoryServer tls(DirectoryServer::Tls::kOffered);
    ASSERT_TRUE(tls.Running());
    std::string der;
    ASSERT_TRUE(bobStore->ExportCert("bob", der, true));
    ASSERT_TRUE(tls.AddPerson("bob", "Bob", "bob@example.org", {{der.begin(), der.end()}}));
    const std::string ca = tls.CaFile(), other = tls.OtherCaFile(), missing = dir / "missing.pem";
    using namespace msg::directory;
    const struct {
        std::string uri, startTls, caFile;
        std::string expected;  // the beginning of the one message; empty: bob is found
    } rows[] = {
        {tls.TlsUri(), "FALSE", ca, {}},
        {tls.Uri(), "TRUE", ca, {}},
        {tls.TlsUri(), "FALSE", other, MessageText(NotTrusted, tls.TlsUri(), "")},
        {tls.Uri(), "TRUE", other, MessageText(NotTrusted, tls.Uri(), "")},
        {tls.TlsUri(), "FALSE", missing, MessageText(CaFileUnusable, missing)},
        {server->Uri(), "TRUE", ca, MessageText(NoTls, server->Uri(), "")},
    };
    for (const auto& row : rows) {
        UseDirectory(row.uri, row.startTls, row.caFile);
        directory::Resolved resolved;
        std::string error;
        const bool found = directory::ResolveRecipients(logon, {"bob@example.org"}, ConfirmAll(), resolved, error);
        const std::string what = row.uri + " StartTLS=" + row.startTls + " " + row.caFile;
        if (row.expected.empty()) {
            EXPECT_TRUE(found) << what << ": " << error;
            EXPECT_EQ(resolved.recipients, std::vector<std::string>{"bob"}) << what;
        } else {
            EXPECT_FALSE(found) << what;
            EXPECT_EQ(error.rfind(row.expected, 0), 0u) << what << ": " << error;
            EXPECT_TRUE(resolved.recipients.empty()) << what;
        }
    }
}

// The program: a search shows the certificate state; an envelope or a mail package for someone
// from the directory is refused under a blanket yes and made once the fingerprint is given (with
// colons); its owner opens it in a suite of their own.
TEST_F(Directory, ProgramConfirmsOnlyByFingerprint) {
    const std::string env = "LDAPNOINIT=1 VARNEX_PASSWORD=pw-alice";
    CliOutcome search = RunVarnex(dir, logon.Home(), "directory search bob --json", env);
    ASSERT_EQ(search.exit, 0) << search.err;
    EXPECT_NE(search.out.find("\"email\": \"bob@example.org\""), std::string::npos) << search.out;
    EXPECT_NE(search.out.find("\"usable\": true"), std::string::npos) << search.out;

    WriteFile(dir / "plan.txt", "the plan");
    const std::string colons = BobFingerprint();
    ASSERT_NE(colons.find(':'), std::string::npos);
    const struct {
        std::string command;                                 // packs plan.txt for bob's address
        std::function<std::string(const CliOutcome&)> open;  // what bob reads from the package made
    } rows[] = {
        {"envelope -o " + dir / "e.vrk" + " --to bob@example.org " + dir / "plan.txt",
         [&](const CliOutcome&) { return fs::exists(dir / "e.vrk") ? OpenAs(*bobStore, "bob", "e.vrk") : ""; }},
        {"mail-pack --encrypt --to bob@example.org " + dir / "plan.txt",
         [&](const CliOutcome& packed) {
             const std::string package = packed.out.substr(0, packed.out.find('\n'));
             CliOutcome got =
                 RunVarnex(dir, bobStore->Home(), "--user bob mail-unpack '" + package + "'", "VARNEX_PASSWORD=pw-bob");
             const std::string file = got.out.substr(0, got.out.find('\n'));
             return got.exit == 0 ? ReadFile(file) : got.err;
         }},
    };
    for (const auto& row : rows) {
        // A suite of alice's own for each row: nothing confirmed, nothing cached.
        TestLogon owner;
        ASSERT_NE(owner.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0);
        ASSERT_TRUE(owner.SetOptions("Directory", {{"URI", server->Uri()}, {"Base", DirectoryServer::kBase}}));
        CliOutcome blanket = RunVarnex(dir, owner.Home(), "--user alice --answers yes-no=yes " + row.command, env);
        EXPECT_EQ(blanket.exit, 1) << row.command;
        EXPECT_NE(blanket.err.find("--answers confirm="), std::string::npos) << blanket.err;
        EXPECT_FALSE(fs::exists(dir / "e.vrk")) << row.command;
        CliOutcome confirmed =
            RunVarnex(dir, owner.Home(), "--user alice --answers confirm=" + colons + " " + row.command, env);
        ASSERT_EQ(confirmed.exit, 0) << confirmed.err;
        EXPECT_EQ(row.open(confirmed), "the plan") << row.command;
        fs::remove(dir / "e.vrk");
    }
}

// A share path is granted to a directory group only when the directory holds it. Each
// share-encrypt then reads the group, takes a new certificate only by its fingerprint, names the
// member left out, and makes no package at all rather than one for fewer people than were
// granted. Each failure is one message, with nothing stored or encrypted.
TEST_F(Directory, ShareGrantedToDirectoryGroupReachesItsMembersOrNobody) {
    AddUsers({"carol"});
    const std::string env = "LDAPNOINIT=1 VARNEX_PASSWORD=pw-alice";
    const std::string share = dir / "share";
    fs::create_directories(share);
    WriteFile(share + "/plan.txt", "the plan");
    auto granted = [&] {
        Insure_Decrypt_Men record;
        return logon.ReadDecryptMen({}, share, record) ? record.entries.size() : 0;
    };

    DirectoryServer gone;
    const std::string goneUri = gone.Uri();
    gone.Stop();
    const std::string confirmBob = "--answers confirm=" + BobFingerprint();
    const std::string grant = "share grant " + share + " carol ";
    const std::string encrypt = "--user alice share-encrypt --share " + share + " " + share + "/plan.txt";
    const std::string unreachable = MessageText(msg::directory::Unreachable, goneUri, "");
    const struct {
        std::string uri, command;
        int exit;
        std::string said;  // in the one message, or the notice
    } rows[] = {
        {server->Uri(), grant + "@nosuch", 1, "varnex: no group named 'nosuch'\n"},
        {goneUri, grant + "@crew", 1, "varnex: " + unreachable},
        {server->Uri(), grant + "@crew", 0, ""},
        {goneUri, confirmBob + " " + encrypt, 1, unreachable},
        {server->Uri(), "--answers yes-no=yes " + encrypt, 1, "--answers confirm="},
        {server->Uri(), confirmBob + " " + encrypt, 0,
         MessageText(msg::directory::MembersLeftOut, "crew", "expired@example.org")},
    };
    std::string package;
    for (const auto& row : rows) {
        UseDirectory(row.uri);
        const size_t before = granted();
        CliOutcome run = RunVarnex(dir, logon.Home(), row.command, env);
        EXPECT_EQ(run.exit, row.exit) << row.command << ": " << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << run.err;
        if (row.exit != 0) {
            size_t said = 0;
            for (size_t at = 0; (at = run.err.find("varnex: ", at)) != std::string::npos; ++at) ++said;
            EXPECT_EQ(said, 1u) << row.command << ": " << run.err;
            EXPECT_EQ(granted(), before) << row.command;
            EXPECT_EQ(ReadFile(share + "/plan.txt"), "the plan") << row.command;
            EXPECT_EQ(std::distance(fs::directory_iterator(share), fs::directory_iterator()), 1) << row.command;
        } else if (size_t arrow = run.out.find(" -> "); arrow != std::string::npos) {
            package = run.out.substr(arrow + 4, run.out.find('\n', arrow) - arrow - 4);
        }
    }
    CliOutcome listed = RunVarnex(dir, logon.Home(), "share list " + share, env);
    EXPECT_NE(listed.out.find("directory group  @crew"), std::string::npos) << listed.out;
    ASSERT_EQ(package.rfind(share + "/", 0), 0u) << package;
    const std::string name = package.substr(dir.Path().size() + 1);
    EXPECT_EQ(OpenAs(*bobStore, "bob", name), "the plan");
    EXPECT_EQ(OpenAs(logon, "carol", name), "the plan");

    // An engine given no directory cannot encrypt for the share as granted, and says so.
    WriteFile(share + "/plan.txt", "the plan");
    LogOn("alice");
    host.Clear();
    CAdvanceEmcrypt bare;
    const std::string list = share + "/plan.txt" + std::string(2, '\0');
    EXPECT_EQ(bare.ShareEncryptMuchFiles(list.c_str(), share.c_str(), "alice", "pw-alice", nullptr), 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].id, "advanced.NoDirectoryForShare");
}

// The measurement (run with --gtest_also_run_disabled_tests): 200 recipients resolved from the
// directory with one search each and in batches, against the same 200 from the store's cache.
TEST_F(Directory, DISABLED_Resolve200Measured) {
    logon::PkeyPtr key = TestRsaKey("bench");
    std::vector<std::string> names;
    for (int i = 0; i < 200; ++i) {
        const std::string id = "p" + std::to_string(1000 + i);
        logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), id, id + "@example.org", i + 2);
        ASSERT_TRUE(server->AddPerson(id, id, id + "@example.org", {Der(cert.get())}));
        names.push_back(id + "@example.org");
    }
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    directory::Client client = Connected();
    ASSERT_TRUE(client.Connect());
    auto t0 = Clock::now();
    for (const std::string& name : names) {
        directory::Person person;
        ASSERT_TRUE(client.FindPerson(name, person)) << client.Error();
    }
    auto t1 = Clock::now();
    std::vector<directory::Person> people;
    ASSERT_TRUE(client.FindPeople(names, people)) << client.Error();
    auto t2 = Clock::now();
    directory::Resolved resolved;
    std::string error;
    ASSERT_TRUE(directory::ResolveRecipients(logon, names, ConfirmAll(), resolved, error)) << error;
    auto t3 = Clock::now();
    ASSERT_TRUE(directory::ResolveRecipients(logon, resolved.recipients, nullptr, resolved, error)) << error;
    auto t4 = Clock::now();
    std::printf(
        "200 recipients: one search each %.1f ms, batched (%zu per search) %.1f ms, first use with "
        "confirmation and caching %.1f ms, from the store %.1f ms\n",
        ms(t1 - t0), directory::kBatchSize, ms(t2 - t1), ms(t3 - t2), ms(t4 - t3));
}

// A directory that is not there, or takes the connection and never answers: its message, and
// never a wait much beyond the time limit.
TEST_F(Directory, UnreachableOrSilentDirectoryFailsWithinTheTimeLimit) {
    int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(silent, 4), 0);  // connections wait in the backlog, unanswered
    ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &length), 0);
    const std::string silentUri = "ldap://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
    DirectoryServer gone;
    const std::string goneUri = gone.Uri();
    gone.Stop();
    const struct {
        std::string uri, expected;
    } rows[] = {
        {silentUri, MessageText(msg::directory::TimedOut, silentUri, 2)},
        {goneUri, MessageText(msg::directory::Unreachable, goneUri, "")},
    };
    for (const auto& row : rows) {
        UseDirectory(row.uri);
        directory::Client client = Connected();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client.Connect());
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << row.uri;
        EXPECT_EQ(client.Error().rfind(row.expected, 0), 0u) << client.Error();
    }
    close(silent);
}

// A directory setting the client would refuse at its first use is refused when it is set, with
// the client's message and the usage exit; the stored value stays as it was.
TEST_F(Directory, SettingsTheClientWouldRefuseAreRefusedWhenSet) {
    using namespace msg::directory;
    const struct {
        const char *section, *key, *value;
        std::string refusal;  // empty: taken
    } rows[] = {
        {"Directory", "URI", "http://dir.example.org", MessageText(BadUri, "http://dir.example.org")},
        {"Directory", "uri", "dir.example.org", MessageText(BadUri, "dir.example.org")},
        {"Directory", "URI", "ldaps://dir.example.org:636", ""},
        {"Directory", "StartTLS", "yes", MessageText(BadStartTls, "yes")},
        {"Directory", "StartTLS", "true", ""},
        {"Directory", "TimeLimit", "0", MessageText(BadTimeLimit, "0")},
        {"Directory", "TimeLimit", "601", MessageText(BadTimeLimit, "601")},
        {"Directory", "TimeLimit", "5s", MessageText(BadTimeLimit, "5s")},
        {"Directory", "TimeLimit", "30", ""},
        {"Directory", "Base", "anything at all", ""},
        {"Option", "URI", "http://dir.example.org", "no setting URI in section Option"},  // read by nothing
    };
    for (const auto& row : rows) {
        const std::string before = logon.GetOption(row.section, row.key, "(unset)");
        CliOutcome set = RunVarnex(dir, logon.Home(),
                                   std::string("option set ") + row.section + " " + row.key + " '" + row.value + "'");
        if (row.refusal.empty()) {
            EXPECT_EQ(set.exit, 0) << row.key << " " << row.value << ": " << set.err;
            EXPECT_EQ(logon.GetOption(row.section, row.key, "(unset)"), row.value);
        } else {
            EXPECT_EQ(set.exit, 2) << row.key << " " << row.value;
            EXPECT_EQ(set.err.rfind("varnex: " + row.refusal + "\n", 0), 0u) << set.err;
            EXPECT_EQ(logon.GetOption(row.section, row.key, "(unset)"), before);
        }
    }
}
