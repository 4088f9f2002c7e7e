// varnex cert import|export|list|confirm: installed certificates.

#include <cerrno>
#include <cstdio>

#include "Session.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace {

constexpr const char* kUsage = "import FILE [--name NAME] | export NAME [FILE] [--force] | list | confirm NAME";

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

int RunCert(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--force"}, {"--name"});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage("cert needs import, export, list or confirm");
    const std::string& sub = pos[0];
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (sub == "import") {
        if (pos.size() != 2) return Usage("cert import takes one file");
        std::string name;
        if (!session.Open()) return kExitFailed;
        if (!store.ImportCert(pos[1], parsed.Value("--name"), name)) return CliFail(store.LastError());
        std::printf("certificate installed as %s (confirm it with: varnex cert confirm '%s')\n", name.c_str(),
                    name.c_str());
        return kExitOk;
    }
    if (sub == "export") {
        if (pos.size() < 2 || pos.size() > 3) return Usage("cert export takes a name and an optional file");
        std::string pem;
        if (!session.Open()) return kExitFailed;
        if (!store.ExportCert(pos[1], pem)) return CliFail(store.LastError());
        if (pos.size() == 2 || pos[2] == "-") {  // "-" is standard output; "./-" a file
            std::fwrite(pem.data(), 1, pem.size(), stdout);
            return kExitOk;
        }
        // An existing file is replaced only with --force, atomically; never by surprise.
        CAtomicFile out;
        out.SetReplace(parsed.Has("--force"));
        CFileException error;
        bool ok = out.Create(pos[2], &error);
        if (ok) {
            try {
                out.File()->Write(pem.data(), static_cast<unsigned>(pem.size()));
            } catch (const CFileException& e) {
                error = e;
                ok = false;
            }
        }
        if (!ok || !out.Commit(&error)) {
            bool exists = error.m_lOsError == EEXIST;
            return CliFail(pos[2] + ": " + error.ErrorText() + (exists ? " (use --force to replace it)" : ""));
        }
        if (!cli.options.quiet)
            std::fprintf(stderr, "varnex: certificate %s written to %s\n", pos[1].c_str(), pos[2].c_str());
        return kExitOk;
    }
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

VARNEX_COMMAND("cert", kUsage, "installed certificates of other people and their confirmation", RunCert, {},
               {{"import", "FILE [--name NAME]", "install another person's certificate (PEM or DER)",
                 "  --name NAME  the name to install it under (default: the certificate's own name, CN)\n\n"
                 "Compare its fingerprint (cert list) with its holder, then record it with cert confirm.\n"},
                {"export", "NAME [FILE] [--force]", "write a certificate as PEM to FILE, or to standard output ('-')",
                 "  --force  replace FILE if it exists (atomically); without it an existing FILE is refused\n"},
                {"list", "", "installed certificates: name, holder, owner, confirmation, fingerprint", ""},
                {"confirm", "NAME", "record a certificate as checked with its holder",
                 "A confirmed certificate that changes afterwards is listed as CHANGED.\n"}});
