// varnex decrypt: restores secured files of every kind through the engine's dispatcher, one
// password for the whole batch; packages restored completely are wiped unless kept.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "Cli.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/PackagePaths.h"
#include "platform/FileSystem.h"

namespace {

namespace fs = std::filesystem;

// Answers the password dialog of password packages from --package-password-file; everything
// else goes to the host of the run.
class PackagePasswordHost : public IUiHost {
public:
    PackagePasswordHost(IUiHost& inner, std::string password) : m_inner(inner), m_password(std::move(password)) {}
    ~PackagePasswordHost() override { WipePassword(m_password); }
    int MessageBox(const std::string& text, unsigned type) override { return m_inner.MessageBox(text, type); }
    int RunDialog(DialogModel& dialog) override {
        if (dialog.Kind() != "password") return m_inner.RunDialog(dialog);
        dialog.SetInput(m_password);
        return dialog.Press(dialog.DefaultButton());
    }
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override {
        return m_inner.CreateProgressView(title, text);
    }
    void PumpEvents() override { m_inner.PumpEvents(); }

private:
    IUiHost& m_inner;
    std::string m_password;
};

// The paths of the engine's decrypted-files list ("path|path|...").
std::vector<std::string> RestoredPaths(const CKorvane& engine) {
    std::string list(reinterpret_cast<const char*>(engine.m_decryptedFiles.Data()),
                     static_cast<size_t>(engine.m_decryptedFiles.GetLength()));
    std::vector<std::string> paths;
    for (size_t start = 0, bar; (bar = list.find('|', start)) != std::string::npos; start = bar + 1)
        paths.push_back(list.substr(start, bar - start));
    return paths;
}

// decrypt --test: each password package read through and checked, nothing written, nothing
// wiped (the dispatcher is not involved). Other kinds are refused by name.
int TestPackages(CliContext& cli, CKorvane& engine, const std::vector<std::string>& packages,
                 const std::vector<std::string>& named) {
    engine.m_testOnly = 1;
    engine.m_passwordKnown = 0;
    engine.m_batchSuccess = 1;
    int failed = 0;
    for (size_t i = 0; i < packages.size(); ++i) {
        const std::string& package = packages[i];
        EncryptFlag head;
        cli.host->SetSubject(named[i]);
        if (!engine.GetEncryptedFileHead(package.c_str(), &head, 1)) {  // said why
            ++failed;
            continue;
        }
        if (head.kind != kKindPassword) {
            std::fprintf(stderr, "varnex: %s: --test checks password packages only\n", named[i].c_str());
            ++failed;
            continue;
        }
        if (engine.SymmtryDecryptFiles(package.c_str(), nullptr, 1, 0) == 1) {
            if (!cli.options.quiet) std::fprintf(stderr, "varnex: %s: sound\n", named[i].c_str());
        } else {
            ++failed;
        }
    }
    cli.host->SetSubject({});
    return failed == 0 ? kExitOk : kExitFailed;
}

int RunDecrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("decrypt");
    ArgParser parsed(args, {"--direct", "--keep", "--test"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "no package to decrypt");
    const std::string to = parsed.Value("--to");
    const bool test = parsed.Has("--test");
    if (test && (!to.empty() || parsed.Has("--keep") || parsed.Has("--direct")))
        return UsageError(self, "--test writes nothing: it takes no --to, --keep or --direct");

    CliSession session(cli);
    CKorvane engine;
    // Envelope packages need the logged-on user; password packages only the store.
    bool envelopes = false;
    for (const std::string& package : parsed.Positionals()) {
        EncryptFlag head;
        envelopes = envelopes || (engine.GetEncryptedFileHead(package.c_str(), &head, 0) &&
                                  (head.kind == kKindEnvelope || head.kind == kKindShared));
    }
    if (!(envelopes && !test ? session.LogOn() : session.Open())) return kExitFailed;
    std::unique_ptr<PackagePasswordHost> passwordHost;
    if (!cli.options.packagePasswordFile.empty()) {
        std::string line;
        if (!ReadPasswordFile(cli.options.packagePasswordFile, line)) return kExitFailed;
        passwordHost = std::make_unique<PackagePasswordHost>(UiHost(), line);
        WipePassword(line);
    }
    std::vector<std::string> packages;
    for (const std::string& package : parsed.Positionals())
        packages.push_back(fs::absolute(package).lexically_normal().string());
    if (test) {
        std::unique_ptr<ScopedUiHost> installed;
        if (passwordHost) installed = std::make_unique<ScopedUiHost>(*passwordHost);
        return TestPackages(cli, engine, packages, parsed.Positionals());
    }

    // A --to folder made here and left empty by a failed batch is removed again.
    bool madeTo = false;
    if (!to.empty()) {
        std::error_code ec;
        madeTo = !fs::exists(fs::symlink_status(to, ec));
        if (madeTo && !MakeFolders(to, 0700)) {
            std::fprintf(stderr, "varnex: %s: cannot make the folder: %s\n", to.c_str(), std::strerror(errno));
            return kExitFailed;
        }
        if (!fs::is_directory(to, ec)) {
            std::fprintf(stderr, "varnex: %s: not a folder\n", to.c_str());
            return kExitFailed;
        }
        engine.m_presetOutFolder = fs::absolute(to).lexically_normal().string();
    } else if (!isatty(STDIN_FILENO) && cli.options.answers.empty() && packages.size() == 1) {
        // Nobody to ask for a folder: restore beside the package, as the direct rule does.
        engine.m_presetOutFolder = FolderPart(packages.front());
    }
    engine.m_keepPackages = parsed.Has("--keep");
    std::string list;
    for (const std::string& package : packages) list.append(package).push_back('\0');
    list.push_back('\0');
    if (packages.size() == 1) cli.host->SetSubject(parsed.Positionals().front());
    const auto started = std::chrono::steady_clock::now();
    int result = 0;
    {
        std::unique_ptr<ScopedUiHost> installed;
        if (passwordHost) installed = std::make_unique<ScopedUiHost>(*passwordHost);
        result = engine.KeloDecryptFile(list.c_str(), nullptr, parsed.Has("--direct") ? 1 : 0);
    }
    cli.host->SetSubject({});
    if (madeTo) {
        std::error_code ec;
        if (fs::is_empty(to, ec)) fs::remove(to, ec);
    }
    if (cli.options.quiet) return ExitForResult(result);

    size_t files = 0;
    uint64_t bytes = 0;
    for (const std::string& restored : RestoredPaths(engine)) {
        struct stat st {};
        if (::lstat(restored.c_str(), &st) == 0) bytes += static_cast<uint64_t>(st.st_size);
        ++files;
        if (cli.options.verbose) std::fprintf(stderr, "%s\n", restored.c_str());
    }
    // A package restored completely is wiped unless kept: say so for each one.
    std::error_code ec;
    for (const std::string& package : packages)
        if (!fs::exists(fs::symlink_status(package, ec)))
            std::fprintf(stderr, "varnex: %s: restored; the package was wiped (--keep keeps it)\n", package.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "varnex: %zu file%s restored, %s in %.1f s\n", files, files == 1 ? "" : "s",
                 ByteCount(bytes).c_str(), seconds);
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("decrypt", "[--to DIR] [--direct] [--keep] [--test] FILE...",
               "restore password and envelope packages (one password per batch)", RunDecrypt,
               "The password is asked once (or read from --package-password-file) and used for every\n"
               "package of the batch. New restored files and folders are the owner's alone (0600, 0700).\n\n"
               "  --to DIR    restore into DIR (made when missing, removed again if nothing was restored);\n"
               "              without it a terminal asks, and a script restores beside the package\n"
               "  --direct    no folder question; a lone restored file is offered to be opened\n"
               "  --keep      keep the packages after their restore (by default, and unless the\n"
               "              setting DkeptFile says otherwise, a package restored completely is wiped)\n"
               "  --test      check the password and every CRC of each password package; nothing is\n"
               "              written and no package is wiped\n");
