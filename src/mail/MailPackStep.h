#pragma once
// What the programs do to make a mail package of files for recipients (`varnex mail-pack`, the
// desktop's mail action): the files checked, the engine's pack, its session key wiped, and the
// hand-off of the finished package to the mail program.

#include <string>
#include <vector>

// Why a file cannot go into a mail package.
enum class MailFileProblem { kNone, kNotAFile, kPathTooLong, kBackslashInName };
MailFileProblem CheckMailFile(const std::string& path);

struct MailPackRequest {
    std::vector<std::string> files;       // absolute paths of regular files (CheckMailFile passed)
    std::vector<std::string> recipients;  // certificate names
    std::string signer;                   // the logged-on user's signer name
    bool encrypt = true;
    bool sign = true;
};

// The engine's result (1 when the package is complete, its path in mailFile; otherwise the
// engine has said why).
int PackMailFiles(const MailPackRequest& request, std::string& mailFile);

// Hands the package to the mail program with the recipients as To: the e-mail address their
// installed certificate holds, else their name. The mail program's result (1 sent); 0 when it
// cannot be loaded (said).
int HandOffMail(const std::string& package, const std::vector<std::string>& recipients);
