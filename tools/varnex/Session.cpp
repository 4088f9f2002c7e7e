#include "Session.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>

#include "platform/SignalCleanup.h"

namespace {

// Prints "varnex: text"; answers false.
bool Refuse(const std::string& text) {
    CliFail(text);
    return false;
}

// The first line of a password file, without its line end.

// Asks on the controlling terminal with echo off; false when there is no terminal.
bool AskTerminal(const std::string& prompt, std::string& answer) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    // Ctrl-C at the prompt stops the command; echo comes back on every way out.
    InterruptibleWait wait;
    auto quiet = std::make_unique<EchoOff>(fd);
    bool ok = ::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size());
    // Room for any password the store accepts up front; a longer answer grows by hand, so
    // that no buffer holding part of it is ever freed unwiped.
    WipePassword(answer);
    answer.reserve(kLogonPasswordCap);
    char c = 0;
    ssize_t n = 0;
    while (ok && (n = ::read(fd, &c, 1)) == 1 && c != '\n') {
        if (answer.size() == answer.capacity()) {
            std::string larger;
            larger.reserve(answer.capacity() * 2);
            larger.append(answer);
            WipePassword(answer);
            answer.swap(larger);
        }
        answer += c;
    }
    ok = ok && n == 1 && !InterruptSeen();
    quiet.reset();
    if (::write(fd, "\n", 1) != 1) ok = false;
    ::close(fd);
    OPENSSL_cleanse(&c, 1);
    return ok;
}

}  // namespace

int CliFail(const std::string& text) {
    std::fprintf(stderr, "varnex: %s\n", text.c_str());
    return kExitFailed;
}

void WipePassword(std::string& password) {
    OPENSSL_cleanse(password.data(), password.size());
    password.clear();
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
    // "-" is standard input; a file of that name is "./-".
    if (path == "-") {
        std::getline(std::cin, password);
        if (!std::cin && password.empty()) return Refuse("no password on standard input");
    } else {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            return Refuse("cannot read the password file " + path + (S_ISDIR(st.st_mode) ? " (a folder)" : ""));
        std::ifstream in(path, std::ios::binary);
        if (!in) return Refuse("cannot read the password file " + path);
        std::getline(in, password);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
}

bool ReadLogonPassword(const CliContext& cli, const std::string& userId, std::string& password) {
    if (!cli.options.passwordFile.empty()) return ReadPasswordFile(cli.options.passwordFile, password);
    if (const char* env = std::getenv("VARNEX_PASSWORD"); env != nullptr) {
        password = env;
        return true;
    }
    if (AskTerminal("Password for " + userId + ": ", password)) return true;
    if (InterruptSeen()) return false;
    return Refuse("no password for '" + userId + "': give --password-file F or set VARNEX_PASSWORD");
}

bool TryLogonPassword(const CliContext& cli, const std::string& userId,
                      const std::function<PasswordVerdict(const std::string& password, std::string& why)>& offer) {
    const bool typed = cli.options.passwordFile.empty() && std::getenv("VARNEX_PASSWORD") == nullptr;
    for (int tries = 1;; ++tries) {
        std::string password, why;
        if (!ReadLogonPassword(cli, userId, password)) return false;
        PasswordVerdict verdict = offer(password, why);
        WipePassword(password);
        if (verdict == PasswordVerdict::kAccepted) return true;
        if (!typed || tries == kPasswordTries || verdict == PasswordVerdict::kRefused) return Refuse(why);
        CliFail(why);
    }
}

bool ReadNewPassword(const CliContext& cli, const std::string& what, std::string& password) {
    if (!cli.options.newPasswordFile.empty()) return ReadPasswordFile(cli.options.newPasswordFile, password);
    std::string again;
    if (!AskTerminal("New password for " + what + ": ", password) || !AskTerminal("Repeat it: ", again)) {
        if (InterruptSeen()) return false;
        return Refuse("no new password for " + what + ": give --new-password-file F");
    }
    bool same = password == again;
    WipePassword(again);
    if (!same) {
        WipePassword(password);
        return Refuse("the two passwords differ");
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
    return true;
}

bool CliSession::LogOn() {
    if (!Open()) return false;
    std::string userId = cli_.options.user;
    if (userId.empty() && !store_.DefaultUser(userId)) return Refuse(store_.LastError());
    bool logged = TryLogonPassword(cli_, userId, [&](const std::string& password, std::string& why) {
        if (store_.LogOn(userId, password)) return PasswordVerdict::kAccepted;
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
