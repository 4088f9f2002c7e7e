// varnex decrypt: restores secured files of every kind through the engine's dispatcher, one
// password for the whole batch; packages restored completely are wiped unless kept.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "Cli.h"
#include "Session.h"
#include "engine/Korvane.h"

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

int RunDecrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("decrypt");
    ArgParser parsed(args, {"--direct", "--keep"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "no package to decrypt");

    CliSession session(cli);
    CKorvane engine;
    // Envelope packages need the logged-on user; password packages only the store.
    bool envelopes = false;
    for (const std::string& package : parsed.Positionals()) {
        EncryptFlag head;
        envelopes = envelopes || (engine.GetEncryptedFileHead(package.c_str(), &head, 0) &&
                                  (head.kind == kKindEnvelope || head.kind == kKindShared));
    }
    if (!(envelopes ? session.LogOn() : session.Open())) return kExitFailed;
    std::unique_ptr<PackagePasswordHost> passwordHost;
    if (!cli.options.packagePasswordFile.empty()) {
        std::string line;
        if (!ReadPasswordFile(cli.options.packagePasswordFile, line)) return kExitFailed;
        passwordHost = std::make_unique<PackagePasswordHost>(UiHost(), line);
        WipePassword(line);
    }
    if (std::string to = parsed.Value("--to"); !to.empty()) {
        std::error_code ec;
        fs::create_directories(to, ec);
        if (!fs::is_directory(to, ec)) {
            std::fprintf(stderr, "varnex: cannot make the folder %s\n", to.c_str());
            return kExitFailed;
        }
        engine.m_presetOutFolder = fs::absolute(to).lexically_normal().string();
    }
    engine.m_keepPackages = parsed.Has("--keep");
    std::string list;
    std::vector<std::string> packages;
    for (const std::string& package : parsed.Positionals()) {
        packages.push_back(fs::absolute(package).lexically_normal().string());
        list.append(packages.back()).push_back('\0');
    }
    list.push_back('\0');
    int result = 0;
    {
        std::unique_ptr<ScopedUiHost> installed;
        if (passwordHost) installed = std::make_unique<ScopedUiHost>(*passwordHost);
        result = engine.KeloDecryptFile(list.c_str(), nullptr, parsed.Has("--direct") ? 1 : 0);
    }
    // A package restored completely is wiped unless kept: say so for each one.
    if (!cli.options.quiet) {
        std::error_code ec;
        for (const std::string& package : packages)
            if (!fs::exists(fs::symlink_status(package, ec)))
                std::fprintf(stderr, "varnex: %s: restored; the package was wiped (--keep keeps it)\n",
                             package.c_str());
    }
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("decrypt",
               "[--to DIR] [--direct] [--keep] FILE...\n"
               "  --to DIR    restore into DIR (made when missing) instead of asking\n"
               "  --direct    no folder question; a lone restored file is offered to be opened\n"
               "  --keep      keep the packages after their restore (by default, and unless the\n"
               "              setting DkeptFile says otherwise, a package restored completely is wiped)",
               "restore password and envelope packages (one password per batch)", RunDecrypt);
