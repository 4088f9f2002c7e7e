// Certificates and keys that other tools make and take: a new user's certificate read by the
// openssl program, a request signed by a throw-away CA and installed, a PKCS#12 file made by
// openssl imported as a user, colleagues' certificates in every form, shown for confirmation.

#include <openssl/pem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "CliTest.h"
#include "logon/LogonKeys.h"

namespace {

// The extensions of a person's certificate (issued by the CA, or self-made for a PKCS#12
// file) and of the CA itself, for the openssl program.
constexpr const char* kOpensslConfig = R"(
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[person]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = emailProtection
subjectKeyIdentifier = hash
)";

class CertCommands : public CliTest {
protected:
    CertCommands() {
        WriteFile(dir / "openssl.cnf", kOpensslConfig);
        WriteFile(dir / "pw", "pw-new\n");
    }

    // The openssl program with `args`, run in the test's folder.
    CliOutcome Openssl(const std::string& args) {
        std::string cmd = "cd '" + dir.Path() + "' && OPENSSL_CONF='" + dir / "openssl.cnf" + "' openssl " + args +
                          " >'" + dir / "ssl.out" + "' 2>'" + dir / "ssl.err" + "'";
        int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "ssl.out"), ReadFile(dir / "ssl.err")};
    }
    // A throw-away CA in ca.pem / ca.key (EC, quick to make).
    void MakeCa() {
        auto made = Openssl(
            "req -x509 -config openssl.cnf -extensions ca -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
            "-keyout ca.key -out ca.pem -days 2 -subj '/CN=Throwaway CA'");
        ASSERT_EQ(made.exit, 0) << made.err;
    }
    // The key of `name` (TestRsaKey) as an unencrypted PEM file name.key.
    void WriteKey(const std::string& name) {
        logon::PkeyPtr key = TestRsaKey(name);
        FILE* out = std::fopen((dir / (name + ".key")).c_str(), "w");
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(PEM_write_PrivateKey(out, key.get(), nullptr, nullptr, 0, nullptr, nullptr), 1);
        std::fclose(out);
    }
    // A certificate `name` makes of its own key (TestRsaKey), valid from `fromDays` to `toDays`
    // days from now, as name.pem.
    void WriteDatedCert(const std::string& name, long fromDays, long toDays) {
        logon::PkeyPtr key = TestRsaKey(name);
        logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), name, name + "@example.org");
        ASSERT_TRUE(cert);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
        ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
        WriteFile(dir / (name + ".pem"), logon::CertToPem(cert.get()));
    }
    // The SHA-256 fingerprint of a PEM certificate file as openssl shows it.
    std::string Fingerprint(const std::string& file) {
        auto shown = Openssl("x509 -noout -fingerprint -sha256 -in " + file);
        EXPECT_EQ(shown.exit, 0) << shown.err;
        size_t at = shown.out.find('=');
        return at == std::string::npos ? "" : shown.out.substr(at + 1, shown.out.find('\n') - at - 1);
    }
};

}  // namespace

TEST_F(CertCommands, NewUsersCertificateCarriesTheExtensionsOtherToolsLookFor) {
    AddUsers({"alice"});
    ASSERT_EQ(Varnex("cert export alice " + dir / "alice.pem").exit, 0);
    CliOutcome text = Openssl("x509 -noout -text -in alice.pem");
    ASSERT_EQ(text.exit, 0) << text.err;
    for (const char* shown : {"X509v3 Basic Constraints: critical\n                CA:FALSE",
                              "X509v3 Key Usage: critical\n                Digital Signature, Key Encipherment",
                              "X509v3 Extended Key Usage: \n                E-mail Protection",
                              "X509v3 Subject Alternative Name: \n                email:alice@example.org",
                              "X509v3 Subject Key Identifier"}) {
        EXPECT_NE(text.out.find(shown), std::string::npos) << shown << "\n" << text.out;
    }
    // DER is the same certificate.
    ASSERT_EQ(Varnex("cert export alice " + dir / "alice.der --der").exit, 0);
    CliOutcome pem = Openssl("x509 -inform DER -in alice.der");
    EXPECT_EQ(pem.out, ReadFile(dir / "alice.pem"));
    EXPECT_TRUE(Ends(Varnex("cert export alice " + dir / "alice.der --der"), 1, "use --force"));
}

// A request verified by openssl, signed by a throw-away CA, installed with its chain: openssl
// accepts the result for e-mail, and files the user signs afterwards verify for others. One
// issued for another key is refused.
TEST_F(CertCommands, CaIssuedCertificateForTheRequestInstallsAndSignsForOthers) {
    AddUsers({"alice", "bob"});
    MakeCa();
    ASSERT_EQ(As("alice", "cert request alice " + dir / "alice.csr").exit, 0);
    CliOutcome checked = Openssl("req -verify -noout -text -in alice.csr");
    ASSERT_EQ(checked.exit, 0) << checked.err;
    EXPECT_NE(checked.err.find("verify OK"), std::string::npos) << checked.err;
    EXPECT_NE(checked.out.find("email:alice@example.org"), std::string::npos) << checked.out;
    ASSERT_EQ(As("bob", "cert request bob " + dir / "bob.csr").exit, 0);
    for (std::string who : {"alice", "bob"}) {
        CliOutcome issued = Openssl("x509 -req -in " + who + ".csr -CA ca.pem -CAkey ca.key -set_serial 7 -days 30 " +
                                    "-copy_extensions copyall -out " + who + "-ca.pem");
        ASSERT_EQ(issued.exit, 0) << issued.err;
    }
    WriteFile(dir / "alice-chain.pem", ReadFile(dir / "alice-ca.pem") + ReadFile(dir / "ca.pem"));

    EXPECT_TRUE(Ends(As("alice", "cert install alice " + dir / "bob-ca.pem"), 1, "for another key"));
    CliOutcome installed = As("alice", "cert install alice " + dir / "alice-chain.pem");
    ASSERT_EQ(installed.exit, 0) << installed.err;
    EXPECT_NE(installed.out.find("issuer:   CN = Throwaway CA"), std::string::npos) << installed.out;

    ASSERT_EQ(Varnex("cert export alice " + dir / "now.pem").exit, 0);
    EXPECT_EQ(ReadFile(dir / "now.pem"), ReadFile(dir / "alice-ca.pem"));
    CliOutcome accepted = Openssl("verify -CAfile ca.pem -purpose smimesign now.pem");
    EXPECT_EQ(accepted.exit, 0) << accepted.out << accepted.err;
    EXPECT_EQ(ReadFile(home + "/certs/alice.pem"), ReadFile(dir / "alice-chain.pem")) << "the chain is kept";

    WriteFile(dir / "a.txt", "agreed");
    ASSERT_EQ(As("alice", "sign " + dir / "a.txt").exit, 0);
    CliOutcome verified = As("bob", "verify " + dir / "a.txt.idi");
    EXPECT_EQ(verified.exit, 0) << verified.out << verified.err;
    ASSERT_EQ(As("bob", "envelope -o " + dir / "e.vrk --to alice " + dir / "a.txt").exit, 0);
    CliOutcome opened = As("alice", "decrypt --to " + dir / "out " + dir / "e.vrk");
    EXPECT_EQ(opened.exit, 0) << opened.err;
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "agreed");
}

// A PKCS#12 file made by openssl becomes a user who signs and opens envelopes; a wrong
// password, or a CA's certificate inside, is refused and registers nobody.
TEST_F(CertCommands, OpensslPkcs12ImportsAsAUserWhoSignsAndOpensEnvelopes) {
    AddUsers({"alice"});
    MakeCa();
    WriteKey("erin");
    WriteFile(dir / "p12pw", "p12 secret\n");
    ASSERT_EQ(Openssl("req -x509 -config openssl.cnf -extensions person -key erin.key -days 30 -out erin.pem "
                      "-subj '/CN=Erin/emailAddress=erin@example.org'")
                  .exit,
              0);
    for (std::string who : {"erin", "ca"}) {
        CliOutcome packed = Openssl("pkcs12 -export -inkey " + who + ".key -in " + who + ".pem -passout file:p12pw " +
                                    "-out " + who + ".p12");
        ASSERT_EQ(packed.exit, 0) << packed.err;
    }
    const std::string passwords = "--new-password-file " + dir / "pw" + " --password-file ";
    EXPECT_TRUE(Ends(Varnex(passwords + dir / "pw user import erin " + dir / "erin.p12"), 1, "wrong password for"));
    EXPECT_TRUE(Ends(Varnex(passwords + dir / "p12pw user import carl " + dir / "ca.p12"), 1, "CA certificate"));
    EXPECT_TRUE(Ends(Varnex(passwords + dir / "p12pw user import erin " + dir / "erin.pem"), 1, "not a PKCS#12"));
    CliOutcome imported = Varnex(passwords + dir / "p12pw user import erin " + dir / "erin.p12");
    ASSERT_EQ(imported.exit, 0) << imported.err;
    CliOutcome users = Varnex("user list");
    EXPECT_NE(users.out.find("erin                 Erin<erin@example.org>"), std::string::npos) << users.out;
    EXPECT_EQ(users.out.find("carl"), std::string::npos);

    // The key is kept as the store keeps its own: encrypted under the new password.
    EXPECT_EQ(ReadFile(home + "/logon.db").find("BEGIN PRIVATE KEY"), std::string::npos);
    WriteFile(dir / "a.txt", "for erin");
    ASSERT_EQ(As("alice", "envelope -o " + dir / "e.vrk --to erin " + dir / "a.txt").exit, 0);
    CliOutcome opened =
        As("erin", "decrypt --to " + dir / "out " + dir / "e.vrk", "/dev/null", "VARNEX_PASSWORD=pw-new");
    EXPECT_EQ(opened.exit, 0) << opened.err;
    EXPECT_EQ(ReadFile(dir / "out/a.txt"), "for erin");
    ASSERT_EQ(Varnex("--password-file " + dir / "pw --user erin sign " + dir / "a.txt").exit, 0);
    CliOutcome verified = Varnex("verify " + dir / "a.txt.idi");
    EXPECT_EQ(verified.exit, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("Erin<erin@example.org>"), std::string::npos) << verified.out;

    // Files of older tools (RC2 and 3DES inside) import too.
    ASSERT_EQ(Openssl("pkcs12 -export -legacy -inkey erin.key -in erin.pem -passout file:p12pw -out old.p12").exit, 0);
    ASSERT_EQ(Varnex("user remove erin --force").exit, 0);
    CliOutcome old = Varnex(passwords + dir / "p12pw user import erin " + dir / "old.p12");
    EXPECT_EQ(old.exit, 0) << old.err;
}

// A colleague's certificate as PEM, DER, or inside a PKCS#7 bundle with its CA: each is shown
// with subject, e-mail, validity and the fingerprint other tools show, and waits for
// confirmation. A bundle of CA certificates only is refused.
TEST_F(CertCommands, ColleaguesCertificateInEveryFormIsShownForConfirmation) {
    MakeCa();
    WriteKey("dora");
    ASSERT_EQ(Openssl("req -new -config openssl.cnf -key dora.key -out dora.csr "
                      "-subj '/CN=Dora/emailAddress=dora@example.org'")
                  .exit,
              0);
    ASSERT_EQ(Openssl("x509 -req -in dora.csr -CA ca.pem -CAkey ca.key -set_serial 9 -days 30 -extfile openssl.cnf "
                      "-extensions person -out dora.pem")
                  .exit,
              0);
    ASSERT_EQ(Openssl("x509 -in dora.pem -outform DER -out dora.der").exit, 0);
    ASSERT_EQ(Openssl("crl2pkcs7 -nocrl -certfile ca.pem -certfile dora.pem -out dora.p7b").exit, 0);
    ASSERT_EQ(Openssl("crl2pkcs7 -nocrl -certfile ca.pem -certfile dora.pem -outform DER -out dora.p7c").exit, 0);
    WriteKey("root");
    ASSERT_EQ(Openssl("req -x509 -config openssl.cnf -extensions ca -key root.key -days 2 -out root.pem "
                      "-subj '/CN=Root'")
                  .exit,
              0);
    ASSERT_EQ(Openssl("crl2pkcs7 -nocrl -certfile ca.pem -certfile root.pem -out ca.p7b").exit, 0);
    const std::string fingerprint = Fingerprint("dora.pem");
    ASSERT_EQ(fingerprint.size(), 95u);

    for (std::string file : {"dora.pem", "dora.der", "dora.p7b", "dora.p7c"}) {
        CliOutcome imported = Varnex("cert import " + dir / file + " --name " + file.substr(5) + "-dora");
        ASSERT_EQ(imported.exit, 0) << file << ": " << imported.err;
        EXPECT_NE(imported.out.find("  subject:  CN = Dora, emailAddress = dora@example.org\n"
                                    "  e-mail:   dora@example.org\n"
                                    "  issuer:   CN = Throwaway CA\n  valid:    "),
                  std::string::npos)
            << file << ": " << imported.out;
        EXPECT_NE(imported.out.find("  SHA-256:  " + fingerprint + "\n"), std::string::npos) << imported.out;
        EXPECT_NE(imported.out.find("varnex cert confirm '" + file.substr(5) + "-dora'"), std::string::npos);
    }
    CliOutcome listed = Varnex("cert list");
    EXPECT_NE(listed.out.find("p7c-dora             Dora<dora@example.org>                   other    not confirmed"),
              std::string::npos)
        << listed.out;
    // A fingerprint named with the confirmation must be the certificate's, colons or not.
    std::string bare = fingerprint;
    std::erase(bare, ':');
    const std::string wrong = std::string(64, '0');
    for (const auto& [args, exit] :
         std::vector<std::pair<std::string, int>>{{"cert confirm p7c-dora", 2},  // a script names the fingerprint
                                                  {"--answers yes-no=yes cert confirm p7c-dora", 2},
                                                  {"cert confirm pem-dora " + wrong, 1},
                                                  {"--answers confirm=" + wrong + " cert confirm pem-dora", 1},
                                                  {"cert confirm pem-dora " + bare, 0},
                                                  {"--answers confirm=" + fingerprint + " cert confirm der-dora", 0}}) {
        CliOutcome confirmed = Varnex(args);
        EXPECT_EQ(confirmed.exit, exit) << args << ": " << confirmed.err;
        EXPECT_EQ(confirmed.out.find("  SHA-256:  " + fingerprint) != std::string::npos, exit == 0) << args;
    }
    const std::string after = Varnex("cert list").out;
    EXPECT_NE(after.find("der-dora             Dora<dora@example.org>                   other    confirmed"),
              std::string::npos);
    EXPECT_NE(after.find("p7c-dora             Dora<dora@example.org>                   other    not confirmed"),
              std::string::npos)
        << after;
    EXPECT_EQ(ReadFile(home + "/certs/p7b-dora.pem"), ReadFile(dir / "dora.pem") + ReadFile(dir / "ca.pem"));
    // A bundle of CAs names no person; a lone certificate is taken as it is, as people make
    // their own with CA:TRUE.
    EXPECT_TRUE(Ends(Varnex("cert import " + dir / "ca.p7b --name ca"), 1, "holds only CA certificates"));
    EXPECT_EQ(Varnex("cert import " + dir / "root.pem").exit, 0);
}

// Nothing is encrypted for a colleague whose certificate is not confirmed, or is outside its
// dates: envelope and mail-pack refuse alike, naming the recipient and why. A certificate
// outside its dates is still imported (it checks old signatures), with a warning. Certificates
// are read from standard input for "-".
TEST_F(CertCommands, NothingIsEncryptedForACertificateNotConfirmedOrOutsideItsDates) {
    AddUsers({"alice"});
    WriteFile(dir / "m.txt", "for you");
    const struct {
        std::string name;
        long from, to;
        bool confirm;
        std::string importWarning, refusal;  // empty: none
    } cases[] = {
        {"bobby", 0, 30, false, "", "varnex: bobby: the certificate is installed but not confirmed;"},
        {"old", -30, -1, true, "varnex: old: imported, but the certificate expired on 20",
         "varnex: old: the certificate expired on 20"},
        {"early", 1, 30, true, "varnex: early: imported, but the certificate is not valid before 20",
         "varnex: early: the certificate is not valid before 20"},
        {"fine", 0, 30, true, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteDatedCert(c.name, c.from, c.to);
        CliOutcome imported = As("alice", "cert import - --name " + c.name, dir / (c.name + ".pem"));
        EXPECT_EQ(imported.exit, 0) << imported.err;
        EXPECT_NE(imported.out.find("certificate installed as " + c.name), std::string::npos) << imported.out;
        EXPECT_EQ(imported.err.rfind(c.importWarning, 0), 0u) << imported.err;
        EXPECT_EQ(imported.err.empty(), c.importWarning.empty()) << imported.err;
        if (c.confirm) ASSERT_EQ(Varnex("cert confirm " + c.name + " " + Fingerprint(dir / (c.name + ".pem"))).exit, 0);
        for (const std::string& command :
             {"envelope --force -o " + dir / "e.vrk --to " + c.name, "mail-pack --encrypt --to " + c.name}) {
            CliOutcome packed = As("alice", command + " " + dir / "m.txt");
            EXPECT_EQ(packed.exit, c.refusal.empty() ? 0 : 1) << command << ": " << packed.err;
            if (!c.refusal.empty()) {
                EXPECT_EQ(packed.err.rfind(c.refusal, 0), 0u) << command << ": " << packed.err;
                EXPECT_EQ(std::count(packed.err.begin(), packed.err.end(), '\n'), 1) << packed.err;
            }
        }
    }
}
