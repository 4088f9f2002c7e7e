// varnex cert import|export|list|confirm|request|install: installed certificates, and the
// certificate of a user's own key from a CA.

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "Session.h"
#include "logon/CertProfile.h"
#include "logon/LogonKeys.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace {

constexpr const char* kUsage =
    "import FILE [--name NAME] | export NAME [FILE] [--der] [--force] | list | confirm NAME | "
    "request ID [FILE] [--force] | install ID FILE";

int Usage(const std::string& text) { return UsageError(*FindCommand("cert"), text); }

const char* StateText(int state) {
    switch (state) {
        case kCertConfirmed:
            return "confirmed";
        case kCertModified:
            return "CHANGED since confirmed";
        case kCertNeverConfirmed:
            return "not confirmed";
        default:
            return "unknown";
    }
}

// Writes bytes to `path` ("-": standard output); an existing file is replaced only with
// force, atomically, never by surprise. An exit status, after printing why it failed.
int WriteOutput(const std::string& path, const std::string& bytes, bool force, bool binary) {
    if (path.empty() || path == "-") {  // "./-" is a file
        if (binary && isatty(STDOUT_FILENO)) return CliFail("DER is not written to a terminal; name a FILE");
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : CliFail("cannot write to standard output");
    }
    CAtomicFile out;
    out.SetReplace(force);
    CFileException error;
    bool ok = out.Create(path, &error);
    if (ok) {
        try {
            out.File()->Write(bytes.data(), static_cast<unsigned>(bytes.size()));
        } catch (const CFileException& e) {
            error = e;
            ok = false;
        }
    }
    if (!ok || !out.Commit(&error)) {
        bool exists = error.m_lOsError == EEXIST;
        return CliFail(path + ": " + error.ErrorText() + (exists ? " (use --force to replace it)" : ""));
    }
    return kExitOk;
}

// What a person compares with the certificate's holder before confirming it.
void PrintSummary(const std::vector<unsigned char>& der) {
    logon::X509Ptr cert = logon::CertFromDer(der);
    logon::CertSummary s = logon::SummarizeCert(cert.get());
    const char* state = s.validity < 0 ? " (not yet valid)" : s.validity > 0 ? " (EXPIRED)" : "";
    std::printf("  subject:  %s\n  e-mail:   %s\n  issuer:   %s\n  valid:    %s to %s%s\n  SHA-256:  %s\n",
                EscapeText(s.subject).c_str(), s.email.empty() ? "(none)" : EscapeText(s.email).c_str(),
                EscapeText(s.issuer).c_str(), s.notBefore.c_str(), s.notAfter.c_str(), state, s.fingerprint.c_str());
}

int Import(CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() != 2) return Usage("cert import takes one file");
    LogonStore& store = session.Store();
    std::string name, der;
    if (!session.Open()) return kExitFailed;
    if (!store.ImportCert(pos[1], parsed.Value("--name"), name)) return CliFail(store.LastError());
    std::printf("certificate installed as %s\n", EscapeText(name).c_str());
    if (store.ExportCert(name, der, true)) PrintSummary({der.begin(), der.end()});
    std::printf("Compare the fingerprint with its holder, then confirm it with: varnex cert confirm '%s'\n",
                EscapeText(name).c_str());
    return kExitOk;
}

int Export(CliContext& cli, CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() < 2 || pos.size() > 3) return Usage("cert export takes a name and an optional file");
    std::string bytes;
    const bool der = parsed.Has("--der");
    if (!session.Open()) return kExitFailed;
    if (!session.Store().ExportCert(pos[1], bytes, der)) return CliFail(session.Store().LastError());
    const std::string path = pos.size() == 3 ? pos[2] : "-";
    if (int exit = WriteOutput(path, bytes, parsed.Has("--force"), der); exit != kExitOk) return exit;
    if (path != "-" && !cli.options.quiet)
        std::fprintf(stderr, "varnex: certificate %s written to %s\n", pos[1].c_str(), path.c_str());
    return kExitOk;
}

// A request for the user's key: the key signs it, so the user's password opens the key.
int Request(CliContext& cli, CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() < 2 || pos.size() > 3) return Usage("cert request takes a user ID and an optional file");
    LogonStore& store = session.Store();
    SecretText password;
    std::string pem;
    if (!session.Open() || !ProveUserPassword(cli, store, pos[1], &password)) return kExitFailed;
    if (!store.RequestCert(pos[1], password.view(), pem)) return CliFail(store.LastError());
    const std::string path = pos.size() == 3 ? pos[2] : "-";
    if (int exit = WriteOutput(path, pem, parsed.Has("--force"), false); exit != kExitOk) return exit;
    if (path != "-" && !cli.options.quiet)
        std::fprintf(stderr, "varnex: certificate request for %s written to %s\n", pos[1].c_str(), path.c_str());
    return kExitOk;
}

// The certificate a CA issued for the user's key becomes the user's: it changes what others
// see of the user, so it takes the user's password.
int Install(CliContext& cli, CliSession& session, const std::vector<std::string>& pos) {
    if (pos.size() != 3) return Usage("cert install takes a user ID and a certificate file");
    LogonStore& store = session.Store();
    std::string der;
    if (!session.Open() || !ProveUserPassword(cli, store, pos[1])) return kExitFailed;
    if (!store.InstallUserCert(pos[1], pos[2])) return CliFail(store.LastError());
    std::printf("certificate of %s installed; others need it again (varnex cert export %s)\n", pos[1].c_str(),
                pos[1].c_str());
    if (store.ExportCert(pos[1], der, true)) PrintSummary({der.begin(), der.end()});
    return kExitOk;
}

int RunCert(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--force", "--der"}, {"--name"});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage("cert needs import, export, list, confirm, request or install");
    const std::string& sub = pos[0];
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (sub == "import") return Import(session, pos, parsed);
    if (sub == "export") return Export(cli, session, pos, parsed);
    if (sub == "request") return Request(cli, session, pos, parsed);
    if (sub == "install") return Install(cli, session, pos);
    if (sub == "list") {
        if (pos.size() != 1) return Usage("cert list takes no arguments");
        std::vector<LogonCertInfo> certs;
        if (!session.Open()) return kExitFailed;
        if (!store.ListCerts(certs)) return CliFail(store.LastError());
        for (const LogonCertInfo& cert : certs) {
            std::string owner = cert.record.userNumber ? "user " + std::to_string(cert.record.userNumber) : "other";
            std::printf("%-20s %-40s %-8s %-24s %.16s\n", EscapeText(cert.record.name).c_str(),
                        EscapeText(KeyTextOf(cert.record.subjectName, cert.record.email)).c_str(), owner.c_str(),
                        StateText(cert.state), cert.fingerprint.c_str());
        }
        return kExitOk;
    }
    if (sub == "confirm") {
        if (pos.size() != 2) return Usage("cert confirm takes one name");
        if (!session.Open()) return kExitFailed;
        if (!store.ConfirmCert(pos[1])) return CliFail(store.LastError());
        std::printf("certificate %s confirmed\n", pos[1].c_str());
        return kExitOk;
    }
    return Usage("unknown cert command '" + sub + "'");
}

}  // namespace

VARNEX_COMMAND("cert", kUsage,
               "installed certificates of other people and their confirmation; the users' own from a CA", RunCert, {},
               {{"import", "FILE [--name NAME]", "install another person's certificate (PEM, DER or a PKCS#7 bundle)",
                 "  --name NAME  the name to install it under (default: the certificate's own name, CN)\n\n"
                 "Shows the certificate's subject, e-mail, issuer, validity and SHA-256 fingerprint. Compare\n"
                 "the fingerprint with its holder, then record it with cert confirm. Of a bundle, the\n"
                 "person's certificate is installed (not a CA's), with the issuers that came with it.\n"},
                {"export", "NAME [FILE] [--der] [--force]",
                 "write a certificate as PEM to FILE, or to standard output ('-')",
                 "  --der    write DER instead of PEM\n"
                 "  --force  replace FILE if it exists (atomically); without it an existing FILE is refused\n"},
                {"list", "", "installed certificates: name, holder, owner, confirmation, fingerprint", ""},
                {"confirm", "NAME", "record a certificate as checked with its holder",
                 "A confirmed certificate that changes afterwards is listed as CHANGED.\n"},
                {"request", "ID [FILE] [--force]", "write a PKCS#10 request (PEM) for the user's key, for a CA to sign",
                 "The request names the subject of the user's certificate and asks for e-mail protection.\n"
                 "The user's password opens the key (--password-file, $VARNEX_PASSWORD, or asked).\n\n"
                 "  --force  replace FILE if it exists\n"},
                {"install", "ID FILE", "make the certificate a CA issued for the user's key the user's certificate",
                 "FILE is PEM, DER or PKCS#7; a chain that comes with it is kept. Refused when the certificate\n"
                 "is for another key, not valid now, a CA's, not for e-mail protection where it says what it\n"
                 "is for, or for another address than the user's. Takes the user's password. Packages and\n"
                 "signatures made before stay valid: the key is the same.\n"}});
