#pragma once
// What every command that works with the logon store shares: opening the store of this
// run's suite folder, installing it as the engine's logon library, choosing the user and
// logging on, and reading passwords for scripts and terminals.
//
// A command that needs the logged-on user does:
//     CliSession session(cli);
//     if (!session.LogOn()) return kExitFailed;   // the reason is printed already
//     ... engine calls; LogonLibrary() is session.Store() ...
// Failures print one line "varnex: ..." to standard error.

#include <functional>
#include <string>

#include "Cli.h"
#include "logon/LogonStore.h"
#include "platform/Secret.h"

// Takes $VARNEX_PASSWORD into cli (once, first thing): its text is wiped and the variable
// removed, so that no program this one starts inherits it.
void TakeEnvironmentPassword(CliContext& cli);

// Prints "varnex: text" and answers kExitFailed.
int CliFail(const std::string& text);

// For commands that read files without saying why one cannot be read: false, after
// "varnex: PATH: 文件不存在" when the name leads nowhere, or "varnex: PATH: not a regular file"
// when it leads to a FIFO, a device, a socket or a folder (the engine refuses to read those,
// never waiting on one).
bool RegularFileOrSay(const std::string& path);

class CliSession {
public:
    explicit CliSession(CliContext& cli);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Opens (creating when missing) the store of the suite folder and installs it.
    bool Open();
    // Open(), then logs on: the user of --user, else the store's only user, else the
    // setting "LastUser" of section "Option"; the password from --password-file, else
    // $VARNEX_PASSWORD, else the terminal. Records the user as "LastUser".
    bool LogOn();
    LogonStore& Store() { return store_; }
    const std::string& UserId() const { return userId_; }

private:
    CliContext& cli_;
    LogonStore store_;
    ILogon* previous_ = nullptr;
    bool installed_ = false;
    std::string userId_;
};

// How often a password typed at the terminal may be tried.
constexpr int kPasswordTries = 3;

// The logon password of userId: --password-file, else $VARNEX_PASSWORD, else asked on
// the terminal without echo. False after printing why.
bool ReadLogonPassword(const CliContext& cli, const std::string& userId, SecretText& password);
// How a password offered to TryLogonPassword was taken.
enum class PasswordVerdict { kAccepted, kWrong, kRefused };
// Reads userId's logon password (as ReadLogonPassword) and offers it to `offer`: a wrong one
// typed at the terminal may be typed again, three tries in all; from a file or the
// environment there is one try. `offer` fills `why` with the reason a password was not taken,
// printed here. kRefused (no such user, a store failure) is never asked again. False after
// printing why.
bool TryLogonPassword(const CliContext& cli, const std::string& userId,
                      const std::function<PasswordVerdict(const SecretText& password, std::string& why)>& offer);
// userId's password, tried as at logon (TryLogonPassword) against the store without logging
// on; kept in `proven` when given. False after printing why.
bool ProveUserPassword(const CliContext& cli, LogonStore& store, const std::string& userId,
                       SecretText* proven = nullptr);
// A new password: --new-password-file, else asked twice on the terminal. False after
// printing why.
bool ReadNewPassword(const CliContext& cli, const std::string& what, SecretText& password);
// The password that opens a file from elsewhere (a PKCS#12 file): --password-file, else asked
// on the terminal. False after printing why.
bool ReadFilePassword(const CliContext& cli, const std::string& file, SecretText& password);
// The first line of a password file. False after printing why. A file that others may read
// is used, with a warning.
bool ReadPasswordFile(const std::string& path, SecretText& password);
