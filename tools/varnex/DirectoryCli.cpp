#include "DirectoryCli.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "Session.h"
#include "logon/LogonStore.h"

#ifdef VARNEX_DIRECTORY
#include "directory/DirectoryRecipients.h"
#include "directory/Messages.h"
#include "directory/ShareGroups.h"

namespace {

// Whether --answers holds confirm=FINGERPRINT for this fingerprint.
bool ConfirmedByAnswer(const std::string& answers, const std::string& fingerprint) {
    const std::string wanted = directory::NormalizeFingerprint(fingerprint);
    size_t start = 0;
    while (!wanted.empty() && start <= answers.size()) {
        size_t comma = answers.find(',', start);
        std::string item = answers.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.rfind("confirm=", 0) == 0 && directory::NormalizeFingerprint(item.substr(8)) == wanted) return true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return false;
}

// Shows each certificate and confirms it by --answers confirm=SHA256, or by yes typed at a
// terminal when there are no answers.
directory::ConfirmCert CliConfirm(CliContext& cli) {
    return [&cli](const directory::Person& person, const logon::CertSummary& s) {
        std::fprintf(stderr, "%s\n",
                     MessageText(msg::directory::ShowCert, person.name, s.subject, s.email, s.notBefore, s.notAfter,
                                 s.fingerprint)
                         .c_str());
        if (ConfirmedByAnswer(cli.options.answers, s.fingerprint)) return true;
        if (!cli.options.answers.empty() || !isatty(STDIN_FILENO) || !isatty(STDERR_FILENO)) return false;
        std::fprintf(stderr, "%s", MessageText(msg::directory::AskConfirm).c_str());
        std::string line;
        return std::getline(std::cin, line) && LogonEqualNoCase(LogonTrim(line), "yes");
    };
}

}  // namespace

bool ResolveCliRecipients(CliContext& cli, LogonStore& store, std::vector<std::string>& names) {
    directory::Resolved resolved;
    std::string error;
    if (!directory::ResolveRecipients(store, names, CliConfirm(cli), resolved, error)) {
        CliFail(error);
        return false;
    }
    if (!resolved.notice.empty()) std::fprintf(stderr, "varnex: %s\n", resolved.notice.c_str());
    names = std::move(resolved.recipients);
    return true;
}

std::unique_ptr<IDirectoryGroups> CliDirectoryGroups(CliContext& cli, LogonStore& store) {
    return std::make_unique<directory::ShareGroups>(store, CliConfirm(cli));
}

bool HaveDirectory(LogonStore& store) { return !LogonTrim(store.GetOption("Directory", "URI", "")).empty(); }

int DirectoryHoldsGroup(LogonStore& store, const std::string& group, std::string& error) {
    return directory::HoldsGroup(store, group, error);
}

std::string CheckDirectorySetting(const std::string& section, const std::string& key, const std::string& value) {
    return LogonEqualNoCase(section, "Directory") ? directory::CheckSetting(key, value) : std::string();
}

#else

bool ResolveCliRecipients(CliContext&, LogonStore&, std::vector<std::string>&) { return true; }
std::unique_ptr<IDirectoryGroups> CliDirectoryGroups(CliContext&, LogonStore&) { return nullptr; }
bool HaveDirectory(LogonStore&) { return false; }
int DirectoryHoldsGroup(LogonStore&, const std::string&, std::string&) { return 0; }
std::string CheckDirectorySetting(const std::string&, const std::string&, const std::string&) { return {}; }

#endif
