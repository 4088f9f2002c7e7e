// varnex pack: a password package of files and folder trees.

#include <openssl/crypto.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "Cli.h"
#include "Session.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "password/PasswordDialog.h"
#include "password/PasswordPackager.h"

namespace {

namespace fs = std::filesystem;

bool Under(const fs::path& path, const fs::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty()) continue;  // a trailing separator
        if (p == path.end() || *p != *f) return false;
    }
    return true;
}

int RunPack(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("pack");
    ArgParser parsed(args, {"--force"}, {"-o", "--output", "--base", "--cipher"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    std::string output = parsed.Value("-o", parsed.Value("--output"));
    if (output.empty()) return UsageError(self, "the package to write is missing (-o PACKAGE)");
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to pack");

    PasswordPackRequest request;
    request.packagePath = fs::absolute(output).lexically_normal().string();
    for (const std::string& p : parsed.Positionals()) {
        fs::path path = fs::absolute(p).lexically_normal();
        if (path.has_filename() == false && path != path.root_path()) path = path.parent_path();
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
    for (const std::string& p : request.paths)
        if (!Under(p, request.baseFolder))
            return UsageError(self, p + " is not inside the base folder " + request.baseFolder);
    if (request.baseFolder.size() >= kMaxPath - 1) return UsageError(self, "the base folder path is too long");

    if (std::string c = parsed.Value("--cipher"); !c.empty()) {
        request.cipherId = std::atoi(c.c_str());
        if (!IsSupportedCipher(request.cipherId))
            return UsageError(self, "unknown cipher " + c + " (45, 46, 62, 120, 121)");
    }
    std::error_code ec;
    if (fs::exists(request.packagePath, ec) && !parsed.Has("--force")) {
        std::fprintf(stderr, "varnex: %s exists (use --force to replace it)\n", output.c_str());
        return kExitFailed;
    }

    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    CKorvane engine;
    if (!cli.options.newPasswordFile.empty()) {
        if (!ReadNewPassword(cli, "the package", request.password)) return kExitFailed;
        if (request.password.size() < kMinPasswordChars) return CliFail("the password needs at least 6 characters");
    } else {
        if (!isatty(STDIN_FILENO) && cli.options.answers.empty()) {
            std::fprintf(stderr, "varnex: no terminal to ask for the password (use --new-password-file)\n");
            return kExitFailed;
        }
        char password[996] = {};
        if (!engine.GetPasswd(password)) return kExitFailed;
        request.password = password;
        OPENSSL_cleanse(password, sizeof password);
    }
    request.replace = parsed.Has("--force");
    int result = PackWithPassword(engine, request);
    WipePassword(request.password);
    if (result == 1) std::printf("%s\n", output.c_str());
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("pack", "-o PACKAGE [--base DIR] [--cipher ID] [--force] PATH...",
               "a password package of files and folder trees", RunPack);
