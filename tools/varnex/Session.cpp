#include "Session.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "CliMessages.h"
#include "mail/MailComposer.h"
#include "mail/MailOutbox.h"
#include "platform/PrintableText.h"
#include "platform/SecretInput.h"
#include "platform/SignalCleanup.h"
#include "shell/Messages.h"

namespace {

// Prints "varnex: text"; answers false.
bool Refuse(const std::string& text) {
    CliFail(text);
    return false;
}

// Asks on the controlling terminal with echo off; false when there is no terminal.
bool AskTerminal(const std::string& prompt, SecretText& answer) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    // Ctrl-C at the prompt stops the command; echo comes back on every way out.
    InterruptibleWait wait;
    auto quiet = std::make_unique<EchoOff>(fd);
    bool ok = ::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size());
    ok = ok && ReadSecretLine(fd, answer) && !InterruptSeen();
    quiet.reset();
    if (::write(fd, "\n", 1) != 1) ok = false;
    ::close(fd);
    return ok;
}

// Whether the class of readBit (group: S_IRGRP, others: S_IROTH) can read the file at path:
// its mode lets it, and so does every folder above it (a 0644 file in a 0700 folder is safe).
bool ClassReaches(const std::string& path, mode_t mode, mode_t readBit, mode_t searchBit) {
    if ((mode & readBit) == 0) return false;
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return true;
    std::string folder = real;
    std::free(real);
    while (folder.size() > 1) {
        folder.erase(folder.find_last_of('/') == 0 ? 1 : folder.find_last_of('/'));
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0 && (st.st_mode & searchBit) == 0) return false;
    }
    return true;
}

// A password file that others can read gives the password away: said once per file, as the
// file is used (a script that must go on is not stopped).
void WarnIfOthersRead(const std::string& path, int fd) {
    static std::set<std::string> warned;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (!ClassReaches(path, st.st_mode, S_IRGRP, S_IXGRP) && !ClassReaches(path, st.st_mode, S_IROTH, S_IXOTH)) return;
    if (!warned.insert(path).second) return;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::PasswordFileReadable, path, mode, path).c_str());
}

}  // namespace

void TakeEnvironmentPassword(CliContext& cli) {
    char* env = std::getenv("VARNEX_PASSWORD");
    if (env == nullptr) return;
    cli.environmentPassword = std::string_view(env);
    cli.hasEnvironmentPassword = true;
    // The text is wiped where the process got it (also what /proc/PID/environ shows), and the
    // variable leaves the environment that programs started later inherit.
    OPENSSL_cleanse(env, std::strlen(env));
    ::unsetenv("VARNEX_PASSWORD");
}

int CliFail(const std::string& text) {
    std::fprintf(stderr, "varnex: %s\n", text.c_str());
    return kExitFailed;
}

bool RegularFileOrSay(const std::string& path) {
    struct stat st {};
    std::string why;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return true;  // the engine says why it cannot be read
        why = MessageText(msg::shell::FileMissing);
    } else if (S_ISREG(st.st_mode)) {
        return true;
    } else {
        why = MessageText(msg::cli::NotRegularFile);
    }
    std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(path).c_str(), why.c_str());
    return false;
}

bool ReadPasswordFile(const std::string& path, SecretText& password) {
    // "-" is standard input; a file of that name is "./-".
    if (path == "-") {
        if (!ReadSecretLine(STDIN_FILENO, password)) return Refuse(MessageText(msg::cli::NoPasswordOnStdin));
        return true;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return Refuse(
            MessageText(S_ISDIR(st.st_mode) ? msg::cli::PasswordFileIsFolder : msg::cli::CannotReadPasswordFile, path));
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Refuse(MessageText(msg::cli::CannotReadPasswordFile, path));
    WarnIfOthersRead(path, fd);
    ReadSecretLine(fd, password);  // an empty file is an empty password, refused where it matters
    ::close(fd);
    return true;
}

bool ReadLogonPassword(const CliContext& cli, const std::string& userId, SecretText& password) {
    if (!cli.options.passwordFile.empty()) return ReadPasswordFile(cli.options.passwordFile, password);
    if (cli.hasEnvironmentPassword) {
        password = cli.environmentPassword;
        return true;
    }
    if (AskTerminal(MessageText(msg::cli::PasswordFor, userId), password)) return true;
    if (InterruptSeen()) return false;
    return Refuse(MessageText(msg::cli::NoPasswordFor, userId));
}

bool TryLogonPassword(const CliContext& cli, const std::string& userId,
                      const std::function<PasswordVerdict(const SecretText& password, std::string& why)>& offer) {
    const bool typed = cli.options.passwordFile.empty() && !cli.hasEnvironmentPassword;
    for (int tries = 1;; ++tries) {
        SecretText password;
        std::string why;
        if (!ReadLogonPassword(cli, userId, password)) return false;
        PasswordVerdict verdict = offer(password, why);
        if (verdict == PasswordVerdict::kAccepted) return true;
        if (!typed || tries == kPasswordTries || verdict == PasswordVerdict::kRefused) return Refuse(why);
        CliFail(why);
    }
}

bool ReadFilePassword(const CliContext& cli, const std::string& file, SecretText& password) {
    if (!cli.options.passwordFile.empty()) return ReadPasswordFile(cli.options.passwordFile, password);
    if (AskTerminal(MessageText(msg::cli::FilePasswordPrompt, file), password)) return true;
    if (InterruptSeen()) return false;
    return Refuse(MessageText(msg::cli::NoFilePassword, file));
}

bool ProveUserPassword(const CliContext& cli, LogonStore& store, const std::string& userId, SecretText* proven) {
    return TryLogonPassword(cli, userId, [&](const SecretText& password, std::string& why) {
        LogonKeyRecord key;
        LogonUserRecord user;
        if (!store.GetUserRecords(key, user, userId)) {
            why = MessageText(msg::cli::NoSuchUser, userId);
            return PasswordVerdict::kRefused;
        }
        if (!store.CheckPassword(userId, password.data(), static_cast<int>(password.size()), 0)) {
            why = MessageText(msg::cli::WrongUserPassword, userId);
            return PasswordVerdict::kWrong;
        }
        if (proven) *proven = password;
        return PasswordVerdict::kAccepted;
    });
}

bool ReadNewPassword(const CliContext& cli, const std::string& what, SecretText& password) {
    if (!cli.options.newPasswordFile.empty()) return ReadPasswordFile(cli.options.newPasswordFile, password);
    SecretText again;
    if (!AskTerminal(MessageText(msg::cli::NewPasswordFor, what), password) ||
        !AskTerminal(MessageText(msg::cli::RepeatPassword), again)) {
        if (InterruptSeen()) return false;
        return Refuse(MessageText(msg::cli::NoNewPassword, what));
    }
    if (!(password == again.view())) {
        password.clear();
        return Refuse(MessageText(msg::cli::PasswordsDiffer));
    }
    return true;
}

CliSession::CliSession(CliContext& cli) : cli_(cli) {}

CliSession::~CliSession() {
    if (installed_) InstallLogonLibrary(previous_);
}

bool CliSession::Open() {
    if (store_.IsOpen()) return true;
    if (!store_.Open(cli_.HomeFolder())) return Refuse(store_.LastError());
    if (!installed_) {
        previous_ = LogonLibrary();
        InstallLogonLibrary(&store_);
        installed_ = true;
    }
    // Copies handed to a mail program an hour ago or more are no longer needed by it.
    RemoveOldHandOffCopies(CurrentMailSettings().outbox);
    return true;
}

bool CliSession::LogOn() {
    if (!Open()) return false;
    std::string userId = cli_.options.user;
    if (userId.empty() && !store_.DefaultUser(userId)) return Refuse(store_.LastError());
    bool logged = TryLogonPassword(cli_, userId, [&](const SecretText& password, std::string& why) {
        // Every command that logs on signs or opens envelopes with the user's key.
        if (store_.LogOn(userId, password.view(), true)) return PasswordVerdict::kAccepted;
        why = store_.LastError();
        LogonKeyRecord key;
        LogonUserRecord user;
        return store_.GetUserRecords(key, user, userId) ? PasswordVerdict::kWrong : PasswordVerdict::kRefused;
    });
    if (!logged) return false;
    std::string id;
    SecretText ignored;
    int type = 0;
    store_.GetLogonUser(id, ignored, type);
    userId_ = id;
    if (!LogonEqualNoCase(store_.GetOption("Option", "LastUser", ""), id)) store_.SetOption("Option", "LastUser", id);
    return true;
}
