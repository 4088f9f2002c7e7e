// varnex decrypt: restores secured files of every kind through the engine's dispatcher, one
// password for the whole batch; packages restored completely are wiped unless kept.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "StandardStreams.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/PackagePaths.h"
#include "password/Messages.h"
#include "platform/FileSystem.h"
#include "platform/PrintableText.h"
#include "platform/TerminalHost.h"

namespace {

namespace fs = std::filesystem;

// Whether --answers names a folder (folder=DIR) for the folder question.
bool AnswersFolder(const std::string& answers) {
    return answers.rfind("folder=", 0) == 0 || answers.find(",folder=") != std::string::npos;
}

// The host of a decrypt run: answers the password dialog of password packages from
// --package-password-file (when given), names each message's package as the command line named
// it, and passes everything else to the host of the run.
class DecryptHost : public IUiHost {
public:
    DecryptHost(IUiHost& inner, std::map<std::string, std::string> names) : m_inner(inner), m_names(std::move(names)) {}
    // The package password read from `file`.
    void SetPassword(const SecretText& password, const std::string& file) {
        m_password = password;
        m_passwordFile = file;
        m_hasPassword = true;
    }
    int MessageBox(const std::string& text, unsigned type) override { return NamedMessageBox({}, text, type); }
    int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) override {
        PassSubject();
        if (id == msg::password::WrongPassword.Id()) ++m_wrongPasswords;
        return m_inner.NamedMessageBox(id, text, type);
    }
    // Whether the package password is asked (not read from a file).
    bool AsksPassword() const { return !m_hasPassword; }
    // How often a package password was refused so far.
    int WrongPasswords() const { return m_wrongPasswords; }
    int RunDialog(DialogModel& dialog) override {
        PassSubject();
        if (!m_hasPassword || dialog.Kind() != "password") return m_inner.RunDialog(dialog);
        dialog.SetInput(m_password.view());
        // A password the dialog refuses (too short) is refused for the whole batch: said once,
        // of the file it came from.
        if (dialog.EntryRefusal().empty()) return dialog.Press(dialog.DefaultButton());
        if (!m_refusalSaid)
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(m_passwordFile).c_str(),
                         MessageText(msg::cli::PasswordTooShort).c_str());
        m_refusalSaid = true;
        return dialog.Close();
    }
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override {
        return m_inner.CreateProgressView(title, text);
    }
    void PumpEvents() override { m_inner.PumpEvents(); }
    void WorkDone(uint64_t bytes) override { m_inner.WorkDone(bytes); }

private:
    void PassSubject() {
        auto it = m_names.find(Subject());
        m_inner.SetSubject(it == m_names.end() ? Subject() : it->second);
    }

    IUiHost& m_inner;
    std::map<std::string, std::string> m_names;  // the engine's path -> the name given
    SecretText m_password;
    std::string m_passwordFile;
    bool m_hasPassword = false;
    bool m_refusalSaid = false;
    int m_wrongPasswords = 0;
};

// Runs one decryption, again after a wrong password typed at the terminal (three tries in all).
template <typename Decrypt>
int WithRetries(const DecryptHost& host, bool typed, Decrypt decrypt) {
    for (int tries = 1;; ++tries) {
        const int wrong = host.WrongPasswords();
        const int result = decrypt();
        if (result == 1 || !typed || host.WrongPasswords() == wrong || tries == kPasswordTries) return result;
    }
}

// The distinct paths of the engine's decrypted-files list ("path|path|..."), in the order first
// restored: a path two packages of the batch restored is one file.
std::vector<std::string> RestoredPaths(const CKorvane& engine) {
    std::string list(reinterpret_cast<const char*>(engine.m_decryptedFiles.Data()),
                     static_cast<size_t>(engine.m_decryptedFiles.GetLength()));
    std::vector<std::string> paths;
    std::set<std::string> seen;
    for (size_t start = 0, bar; (bar = list.find('|', start)) != std::string::npos; start = bar + 1)
        if (std::string path = list.substr(start, bar - start); seen.insert(path).second) paths.push_back(path);
    return paths;
}

// The folders of `path` that do not exist yet, outermost first: those MakeFolders would make.
std::vector<std::string> MissingFolders(const std::string& path) {
    std::vector<std::string> missing;
    fs::path p = fs::absolute(path).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();
    for (std::error_code ec; !p.empty() && !fs::exists(fs::symlink_status(p, ec)); p = p.parent_path()) {
        missing.insert(missing.begin(), p.string());
        if (p == p.root_path()) break;
    }
    return missing;
}

// Removes each folder that is still empty, innermost first, up to the first that is not (rmdir
// removes nothing else, whatever stands there now).
void RemoveEmptyFolders(const std::vector<std::string>& folders) {
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        if (::rmdir(it->c_str()) != 0) break;
}

// What an envelope package's signature proved of its sender, for the summary.
std::string SenderText(const SignerProof& proof) {
    if (proof.Proven()) return MessageText(msg::cli::SentBy, EscapeText(proof.KeyText()), proof.sha256.substr(0, 16));
    if (proof.basis == SignerProof::Basis::kBareDigest) return MessageText(msg::cli::BareDigest);
    return {};
}

// decrypt --test: each package read through and checked as its restore reads it, nothing
// written, nothing wiped (the dispatcher is not involved). Other kinds are refused by name.
int TestPackages(CliContext& cli, CKorvane& engine, const DecryptHost& host, bool typed,
                 const std::vector<std::string>& packages, const std::vector<std::string>& named) {
    engine.m_testOnly = 1;
    engine.m_passwordKnown = 0;
    engine.m_batchSuccess = 1;
    int failed = 0;
    for (size_t i = 0; i < packages.size(); ++i) {
        const char* package = packages[i].c_str();
        EncryptFlag head;
        UiHost().SetSubject(packages[i]);
        int result = 0;
        if (!engine.GetEncryptedFileHead(package, &head, 1)) {  // said why
            result = 0;
        } else if (head.kind == kKindPassword) {
            result = WithRetries(host, typed, [&] { return engine.SymmtryDecryptFiles(package, nullptr, 1, 0); });
        } else if (head.kind == kKindEnvelope || head.kind == kKindShared) {
            result = engine.EnvelopDecryptFiles(package, nullptr, 1, 0);
        } else {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(named[i]).c_str(),
                         MessageText(msg::cli::TestKinds).c_str());
        }
        std::string sender;
        if (result == 1 && !engine.m_packageSenders.empty() && engine.m_packageSenders.back().package == packages[i])
            sender = SenderText(engine.m_packageSenders.back().proof);
        if (result != 1)
            ++failed;
        else if (!cli.options.quiet)
            std::fprintf(
                stderr, "varnex: %s: %s\n", EscapeText(named[i]).c_str(),
                (sender.empty() ? MessageText(msg::cli::Sound) : MessageText(msg::cli::SoundFrom, sender)).c_str());
    }
    UiHost().SetSubject({});
    return failed == 0 ? kExitOk : kExitFailed;
}

int RunDecrypt(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("decrypt");
    ArgParser parsed(args, {"--direct", "--keep", "--test"}, {"--to"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoPackageToDecrypt));
    const std::string to = parsed.Value("--to");
    const bool test = parsed.Has("--test");
    if (test && (!to.empty() || parsed.Has("--keep") || parsed.Has("--direct")))
        return UsageError(self, MessageText(msg::cli::TestWritesNothing));

    // "-" is a package read from standard input, held in a file of the user's own while the run
    // lasts; its restored files need a folder of their own (--to), and its copy is nobody's to keep.
    const auto& named = parsed.Positionals();
    const size_t fromStdin = static_cast<size_t>(std::count(named.begin(), named.end(), "-"));
    if (fromStdin > 1 || (fromStdin && cli.options.packagePasswordFile == "-"))
        return UsageError(self, MessageText(msg::cli::StdinNamedTwice));
    if (fromStdin && !test && to.empty()) return UsageError(self, MessageText(msg::cli::StdinNeedsTo));
    CliSession session(cli);
    StdinPackage input;
    if (fromStdin && (!session.Open() || !input.Take())) return kExitFailed;
    std::vector<std::string> sources;
    for (const std::string& package : named) sources.push_back(package == "-" ? input.Path() : package);

    CKorvane engine;
    // Envelope packages need the logged-on user; password packages only the store, and their
    // password from a file or the terminal.
    bool envelopes = false, passwords = false;
    for (const std::string& package : sources) {
        EncryptFlag head;
        if (!engine.GetEncryptedFileHead(package.c_str(), &head, 0)) continue;
        envelopes = envelopes || head.kind == kKindEnvelope || head.kind == kKindShared;
        passwords = passwords || head.kind == kKindPassword;
    }
    if (passwords && cli.options.packagePasswordFile.empty() && !isatty(STDIN_FILENO) && cli.options.answers.empty()) {
        std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::NoTerminalForPassword).c_str());
        return kExitFailed;
    }
    if (!(envelopes ? session.LogOn() : session.Open())) return kExitFailed;
    // A package named twice in the batch (by the same path, or by another name of the same file)
    // is restored once, under the name first given.
    std::vector<std::string> packages, given;
    std::map<std::string, std::string> names;
    std::set<std::pair<dev_t, ino_t>> seenFiles;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& package = named[i];
        std::string path = fs::absolute(sources[i]).lexically_normal().string();
        struct stat st {};
        if (names.count(path) || (::stat(path.c_str(), &st) == 0 && !seenFiles.insert({st.st_dev, st.st_ino}).second))
            continue;
        packages.push_back(path);
        given.push_back(package);
        names[path] = package;
    }
    DecryptHost host(*cli.host, names);
    if (!cli.options.packagePasswordFile.empty()) {
        SecretText line;
        if (!ReadPasswordFile(cli.options.packagePasswordFile, line)) return kExitFailed;
        host.SetPassword(line, cli.options.packagePasswordFile);
    }
    ScopedUiHost installed(host);
    // The packages' sizes stand for the job: their contents are nearly all of them.
    uint64_t jobBytes = 0;
    for (const std::string& package : packages) {
        std::error_code ec;
        if (uint64_t size = fs::file_size(package, ec); !ec) jobBytes += size;
    }
    if (cli.terminal) cli.terminal->SetJobBytes(jobBytes);
    // A package password typed at the terminal may be typed again after a mistake.
    const bool typed = host.AsksPassword() && cli.options.answers.empty() && isatty(STDIN_FILENO);
    if (test) return TestPackages(cli, engine, host, typed, packages, given);

    // The folders made here for --to, and left empty by a failed batch, are removed again.
    std::vector<std::string> madeFolders;
    if (!to.empty()) {
        std::error_code ec;
        madeFolders = MissingFolders(to);
        if (!madeFolders.empty() && !MakeFolders(to, 0700)) {
            const int error = errno;
            RemoveEmptyFolders(madeFolders);
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(to).c_str(),
                         MessageText(msg::cli::CannotMakeFolder, std::strerror(error)).c_str());
            return kExitFailed;
        }
        if (!fs::is_directory(to, ec)) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(to).c_str(), MessageText(msg::cli::NotAFolder).c_str());
            return kExitFailed;
        }
        engine.m_presetOutFolder = fs::absolute(to).lexically_normal().string();
    } else if ((!isatty(STDIN_FILENO) || !cli.options.answers.empty()) && !AnswersFolder(cli.options.answers) &&
               packages.size() == 1) {
        // Nobody to ask for a folder, and no folder among the answers: restore beside the
        // package, as the direct rule does.
        engine.m_presetOutFolder = FolderPart(packages.front());
    }
    engine.m_keepPackages = parsed.Has("--keep");
    std::string list;
    for (const std::string& package : packages) list.append(package).push_back('\0');
    list.push_back('\0');
    const auto started = std::chrono::steady_clock::now();
    const int result = WithRetries(host, typed && packages.size() == 1, [&] {
        return engine.KeloDecryptFile(list.c_str(), nullptr, parsed.Has("--direct") ? 1 : 0);
    });
    RemoveEmptyFolders(madeFolders);
    // A restore that went on past a file it could not make, or kept a damaged one, did not
    // bring its package back: the run failed though the batch went to its end.
    const int exit = result == 1 && engine.m_batchIncomplete ? kExitFailed : ExitForResult(result);
    if (cli.options.quiet) return exit;

    size_t files = 0;
    uint64_t bytes = 0;
    for (const std::string& restored : RestoredPaths(engine)) {
        struct stat st {};
        if (::lstat(restored.c_str(), &st) == 0) bytes += static_cast<uint64_t>(st.st_size);
        ++files;
        if (cli.options.verbose) std::fprintf(stderr, "%s\n", EscapeText(restored).c_str());
    }
    // A package restored completely is wiped unless kept: said for each one the engine wiped.
    auto givenName = [&names](const std::string& path) {
        auto it = names.find(path);
        return EscapeText(it == names.end() ? path : it->second);
    };
    for (const std::string& wiped : engine.m_wipedPackages)
        if (const std::string name = givenName(wiped); name != "-")  // the copy of standard input
            std::fprintf(stderr, "varnex: %s: %s\n", name.c_str(), MessageText(msg::cli::RestoredAndWiped).c_str());
    for (const CKorvane::PackageSender& sender : engine.m_packageSenders)
        std::fprintf(stderr, "varnex: %s: %s\n", givenName(sender.package).c_str(), SenderText(sender.proof).c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(
        stderr, "varnex: %s\n",
        MessageText(files == 1 ? msg::cli::RestoredOne : msg::cli::RestoredMany, files, ByteCount(bytes), seconds)
            .c_str());
    return exit;
}

}  // namespace

VARNEX_COMMAND("decrypt", "[--to DIR] [--direct] [--keep] [--test] FILE...", msg::cli_help::Decrypt, RunDecrypt,
               msg::cli_help::DecryptHelp);
