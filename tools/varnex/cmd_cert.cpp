// varnex cert import|export|list|confirm|request|install: installed certificates, and the
// certificate of a user's own key from a CA.

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <vector>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "logon/CertProfile.h"
#include "logon/LogonKeys.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"

namespace {

constexpr const char* kUsage =
    "import FILE [--name NAME] [--force] | export NAME [FILE] [--der] [--force] | list | confirm NAME [SHA256] | "
    "request ID [FILE] [--force] | install ID FILE";

int Usage(const std::string& text) { return UsageError(*FindCommand("cert"), text); }

const MessageDef& StateText(int state) {
    switch (state) {
        case kCertConfirmed:
            return msg::cli::CertConfirmed;
        case kCertModified:
            return msg::cli::CertChanged;
        case kCertNeverConfirmed:
            return msg::cli::CertNotConfirmed;
        default:
            return msg::cli::CertStateUnknown;
    }
}

// Writes bytes to `path` ("-": standard output); an existing file is replaced only with
// force, atomically, never by surprise. An exit status, after printing why it failed.
int WriteOutput(const std::string& path, const std::string& bytes, bool force, bool binary) {
    if (path.empty() || path == "-") {  // "./-" is a file
        if (binary && isatty(STDOUT_FILENO)) return CliFail(MessageText(msg::cli::DerToTerminal));
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : CliFail(MessageText(msg::cli::CannotWriteStdout));
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
        return CliFail(exists ? MessageText(msg::cli::FileExistsForce, path, error.ErrorText())
                              : path + ": " + error.ErrorText());
    }
    return kExitOk;
}

// What a person compares with the certificate's holder before confirming it.
void PrintSummary(const std::vector<unsigned char>& der) {
    logon::X509Ptr cert = logon::CertFromDer(der);
    logon::CertSummary s = logon::SummarizeCert(cert.get());
    const std::string state = s.validity < 0   ? MessageText(msg::cli::NotYetValid)
                              : s.validity > 0 ? MessageText(msg::cli::CertExpired)
                                               : std::string();
    const std::string email = s.email.empty() ? MessageText(msg::cli::NoEmail) : EscapeText(s.email);
    std::printf("%s\n", MessageText(msg::cli::CertSummary, EscapeText(s.subject), email, EscapeText(s.issuer),
                                    s.notBefore, s.notAfter, state, s.fingerprint)
                            .c_str());
}

int Import(CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() != 2) return Usage(MessageText(msg::cli::CertImportArgs));
    LogonStore& store = session.Store();
    std::string name, der;
    if (!session.Open()) return kExitFailed;
    if (!store.ImportCert(pos[1], parsed.Value("--name"), name, parsed.Has("--force")))
        return CliFail(store.LastError());
    std::printf("%s\n", MessageText(msg::cli::CertInstalledAs, EscapeText(name)).c_str());
    if (!store.ExportCert(name, der, true)) der.clear();
    if (!der.empty()) PrintSummary({der.begin(), der.end()});
    std::printf("%s\n", MessageText(msg::cli::CompareFingerprint, EscapeText(name)).c_str());
    // Kept all the same: it still checks signatures made while it was valid.
    logon::X509Ptr cert = logon::CertFromDer({der.begin(), der.end()});
    const logon::CertSummary s = logon::SummarizeCert(cert.get());
    if (cert && s.validity != 0)
        std::fprintf(stderr, "varnex: %s\n",
                     (s.validity > 0 ? MessageText(msg::cli::ImportedCertExpired, EscapeText(name), s.notAfter)
                                     : MessageText(msg::cli::ImportedCertNotYetValid, EscapeText(name), s.notBefore))
                         .c_str());
    return kExitOk;
}

int Export(CliContext& cli, CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() < 2 || pos.size() > 3) return Usage(MessageText(msg::cli::CertExportArgs));
    std::string bytes;
    const bool der = parsed.Has("--der");
    if (!session.Open()) return kExitFailed;
    if (!session.Store().ExportCert(pos[1], bytes, der)) return CliFail(session.Store().LastError());
    const std::string path = pos.size() == 3 ? pos[2] : "-";
    if (int exit = WriteOutput(path, bytes, parsed.Has("--force"), der); exit != kExitOk) return exit;
    if (path != "-" && !cli.options.quiet)
        std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::CertWritten, pos[1], path).c_str());
    return kExitOk;
}

// A request for the user's key: the key signs it, so the user's password opens the key.
int Request(CliContext& cli, CliSession& session, const std::vector<std::string>& pos, const ArgParser& parsed) {
    if (pos.size() < 2 || pos.size() > 3) return Usage(MessageText(msg::cli::CertRequestArgs));
    LogonStore& store = session.Store();
    SecretText password;
    std::string pem;
    if (!session.Open() || !ProveUserPassword(cli, store, pos[1], &password)) return kExitFailed;
    if (!store.RequestCert(pos[1], password.view(), pem)) return CliFail(store.LastError());
    const std::string path = pos.size() == 3 ? pos[2] : "-";
    if (int exit = WriteOutput(path, pem, parsed.Has("--force"), false); exit != kExitOk) return exit;
    if (path != "-" && !cli.options.quiet)
        std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::RequestWritten, pos[1], path).c_str());
    return kExitOk;
}

// The certificate a CA issued for the user's key becomes the user's: it changes what others
// see of the user, so it takes the user's password.
int Install(CliContext& cli, CliSession& session, const std::vector<std::string>& pos) {
    if (pos.size() != 3) return Usage(MessageText(msg::cli::CertInstallArgs));
    LogonStore& store = session.Store();
    std::string der;
    if (!session.Open() || !ProveUserPassword(cli, store, pos[1])) return kExitFailed;
    if (!store.InstallUserCert(pos[1], pos[2])) return CliFail(store.LastError());
    std::printf("%s\n", MessageText(msg::cli::UserCertInstalled, pos[1], pos[1]).c_str());
    if (store.ExportCert(pos[1], der, true)) PrintSummary({der.begin(), der.end()});
    return kExitOk;
}

// A fingerprint as people write it: hex digits, any case, colons or spaces between.
std::string BareFingerprint(const std::string& text) {
    std::string bare;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            bare += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return bare;
}

// The fingerprints a script names: the argument, and every confirm= of --answers.
std::vector<std::string> NamedFingerprints(const CliContext& cli, const std::vector<std::string>& pos) {
    std::vector<std::string> named;
    if (pos.size() == 3) named.push_back(BareFingerprint(pos[2]));
    const std::string& answers = cli.options.answers;
    for (size_t start = 0; start < answers.size();) {
        const size_t comma = std::min(answers.find(',', start), answers.size());
        const std::string item = answers.substr(start, comma - start);
        if (item.rfind("confirm=", 0) == 0) named.push_back(BareFingerprint(item.substr(8)));
        start = comma + 1;
    }
    return named;
}

// Confirms the certificate installed under a name. A fingerprint the caller names must be that
// certificate's, so a script confirms exactly what its person compared; without one, only a
// person at a terminal who was shown the certificate and answers yes confirms it.
int Confirm(CliContext& cli, CliSession& session, const std::vector<std::string>& pos) {
    if (pos.size() < 2 || pos.size() > 3) return Usage(MessageText(msg::cli::CertConfirmArgs));
    LogonStore& store = session.Store();
    std::string der;
    if (!session.Open() || !store.ExportCert(pos[1], der, true)) return CliFail(store.LastError());
    const std::string fingerprint =
        logon::SummarizeCert(logon::CertFromDer({der.begin(), der.end()}).get()).fingerprint;
    const std::vector<std::string> named = NamedFingerprints(cli, pos);
    if (!named.empty() && std::find(named.begin(), named.end(), BareFingerprint(fingerprint)) == named.end())
        return CliFail(MessageText(msg::cli::CertFingerprintDiffers, EscapeText(pos[1]), fingerprint));
    if (named.empty()) {
        // Nobody named the fingerprint: only a person at a terminal, shown it, may confirm.
        if (!cli.options.answers.empty() || !isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
            return Usage(MessageText(msg::cli::CertConfirmNeedsFingerprint, EscapeText(pos[1])));
        PrintSummary({der.begin(), der.end()});
        std::fflush(stdout);
        std::fprintf(stderr, "%s", MessageText(msg::cli::CertAskConfirm).c_str());
        std::string line;
        if (!std::getline(std::cin, line) || !LogonEqualNoCase(LogonTrim(line), "yes"))
            return CliFail(MessageText(msg::cli::CertNotConfirmedAnswer, EscapeText(pos[1])));
    }
    if (!store.ConfirmCert(pos[1])) return CliFail(store.LastError());
    std::printf("%s\n", MessageText(msg::cli::CertConfirmedName, EscapeText(pos[1])).c_str());
    if (!named.empty()) PrintSummary({der.begin(), der.end()});
    return kExitOk;
}

int RunCert(CliContext& cli, const std::vector<std::string>& args) {
    ArgParser parsed(args, {"--force", "--der"}, {"--name"});
    if (!parsed.Ok()) return Usage(parsed.Error());
    const auto& pos = parsed.Positionals();
    if (pos.empty()) return Usage(MessageText(msg::cli::CertNeedsSub));
    const std::string& sub = pos[0];
    CliSession session(cli);
    LogonStore& store = session.Store();
    if (sub == "import") return Import(session, pos, parsed);
    if (sub == "export") return Export(cli, session, pos, parsed);
    if (sub == "request") return Request(cli, session, pos, parsed);
    if (sub == "install") return Install(cli, session, pos);
    if (sub == "list") {
        if (pos.size() != 1) return Usage(MessageText(msg::cli::NoArguments, "cert list"));
        std::vector<LogonCertInfo> certs;
        if (!session.Open()) return kExitFailed;
        if (!store.ListCerts(certs)) return CliFail(store.LastError());
        for (const LogonCertInfo& cert : certs) {
            std::string owner = cert.record.userNumber ? MessageText(msg::cli::CertOwnerUser, cert.record.userNumber)
                                                       : MessageText(msg::cli::CertOwnerOther);
            std::printf("%-20s %-40s %-8s %-24s %.16s\n", EscapeText(cert.record.name).c_str(),
                        EscapeText(KeyTextOf(cert.record.subjectName, cert.record.email)).c_str(), owner.c_str(),
                        MessageText(StateText(cert.state)).c_str(), cert.fingerprint.c_str());
        }
        return kExitOk;
    }
    if (sub == "confirm") return Confirm(cli, session, pos);
    return Usage(UnknownSubCommandText("cert", sub));
}

}  // namespace

VARNEX_COMMAND("cert", kUsage, msg::cli_help::Cert, RunCert, {},
               {{"import", "FILE [--name NAME] [--force]", msg::cli_help::CertImport, msg::cli_help::CertImportHelp},
                {"export", "NAME [FILE] [--der] [--force]", msg::cli_help::CertExport, msg::cli_help::CertExportHelp},
                {"list", "", msg::cli_help::CertList, {}},
                {"confirm", "NAME [SHA256]", msg::cli_help::CertConfirm, msg::cli_help::CertConfirmHelp},
                {"request", "ID [FILE] [--force]", msg::cli_help::CertRequest, msg::cli_help::CertRequestHelp},
                {"install", "ID FILE", msg::cli_help::CertInstall, msg::cli_help::CertInstallHelp}});
