// varnex envelope: one envelope package of files and folder trees for the logged-on user and
// further registered users, signed by the logged-on user.

#include <cstdio>
#include <filesystem>

#include "Cli.h"
#include "Session.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/ILogon.h"
#include "password/PasswordPackager.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitIds(const std::string& list) {
    std::vector<std::string> ids;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string id = LogonTrim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!id.empty()) ids.push_back(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ids;
}

int RunEnvelope(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("envelope");
    ArgParser parsed(args, {"--force"}, {"-o", "--output", "--to", "--base", "--cipher"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    std::string output = parsed.Value("-o", parsed.Value("--output"));
    if (output.empty()) return UsageError(self, "the package to write is missing (-o PACKAGE)");
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to encrypt");

    EnvelopePackRequest request;
    request.recipients = SplitIds(parsed.Value("--to"));
    request.packagePath = fs::absolute(output).lexically_normal().string();
    for (const std::string& p : parsed.Positionals()) {
        fs::path path = fs::absolute(p).lexically_normal();
        if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec))) {
            std::fprintf(stderr, "varnex: %s: no such file or folder\n", p.c_str());
            return kExitFailed;
        }
        if (path.string().size() >= kMaxPath) {
            std::fprintf(stderr, "varnex: %s: path longer than %d bytes\n", p.c_str(), kMaxPath - 1);
            return kExitFailed;
        }
        request.paths.push_back(path.string());
    }
    std::string base = parsed.Value("--base");
    request.baseFolder =
        base.empty() ? CommonBaseFolder(request.paths) : fs::absolute(base).lexically_normal().string();
    if (request.baseFolder.size() >= kMaxPath - 1) return UsageError(self, "the base folder path is too long");
    if (std::string c = parsed.Value("--cipher"); !c.empty()) {
        request.cipherId = std::atoi(c.c_str());
        if (!IsSupportedCipher(request.cipherId))
            return UsageError(self, "unknown cipher " + c + " (45, 46, 62, 120, 121)");
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(request.packagePath, ec)) && !parsed.Has("--force")) {
        std::fprintf(stderr, "varnex: %s exists (use --force to replace it)\n", output.c_str());
        return kExitFailed;
    }

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    for (const std::string& id : request.recipients) {
        LogonKeyRecord key;
        LogonUserRecord user;
        if (!session.Store().GetUserRecords(key, user, id)) return CliFail(id + ": no such user");
    }
    CKorvane engine;
    request.replace = parsed.Has("--force");
    int result = PackEnvelope(engine, request);
    if (result == 1 && !cli.options.quiet) std::printf("%s\n", output.c_str());
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("envelope",
               "-o PACKAGE --to ID[,ID...] [--base DIR] [--cipher ID] [--force] PATH...\n"
               "  -o PACKAGE     the envelope package to write (replaced only with --force)\n"
               "  --to IDS       further recipients, registered user IDs separated by commas; the\n"
               "                 logged-on user is always a recipient and signs the package\n"
               "  --base DIR     the folder stored paths are relative to (default: the deepest folder\n"
               "                 holding every PATH)\n"
               "  --cipher ID    bulk cipher: 46 IDEA (default), 62 triple DES, 45 DES, 120/121 cards",
               "an envelope package of files and folder trees for several recipients", RunEnvelope);
