#include "PackageSources.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "CliMessages.h"
#include "engine/Identifiers.h"
#include "password/PasswordPackager.h"
#include "platform/PrintableText.h"

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

}  // namespace

int ReadPackageSources(const Command& self, const ArgParser& parsed, const std::string& output,
                       PackageSources& sources) {
    sources.packagePath = fs::absolute(output).lexically_normal().string();
    for (const std::string& p : parsed.Positionals()) {
        fs::path path = fs::absolute(p).lexically_normal();
        if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(path, ec))) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                         MessageText(msg::cli::NoSuchFileOrFolder).c_str());
            return kExitFailed;
        }
        if (path.string().size() >= kMaxPath) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                         MessageText(msg::cli::PathTooLong, kMaxPath - 1).c_str());
            return kExitFailed;
        }
        // The same path named twice is packed once.
        if (std::find(sources.paths.begin(), sources.paths.end(), path.string()) == sources.paths.end())
            sources.paths.push_back(path.string());
    }
    // A path inside a folder also named is packed with that folder, once: a second record of
    // the same file would meet the first when the package is restored.
    const std::vector<std::string> named = sources.paths;
    sources.paths.erase(std::remove_if(sources.paths.begin(), sources.paths.end(),
                                       [&](const std::string& p) {
                                           return std::any_of(named.begin(), named.end(), [&](const std::string& f) {
                                               return f != p && Under(p, f);
                                           });
                                       }),
                        sources.paths.end());
    const std::string base = parsed.Value("--base");
    sources.baseFolder =
        base.empty() ? CommonBaseFolder(sources.paths) : fs::absolute(base).lexically_normal().string();
    for (const std::string& p : sources.paths)
        if (!Under(p, sources.baseFolder))
            return UsageError(self, MessageText(msg::cli::NotUnderBase, EscapeText(p), EscapeText(sources.baseFolder)));
    if (sources.baseFolder.size() >= kMaxPath - 1) return UsageError(self, MessageText(msg::cli::BaseTooLong));

    if (std::string c = parsed.Value("--cipher"); !c.empty()) {
        sources.cipherId = std::atoi(c.c_str());
        if (!IsSupportedCipher(sources.cipherId)) return UsageError(self, MessageText(msg::cli::UnknownCipher, c));
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(sources.packagePath, ec)) && !parsed.Has("--force")) {
        std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::ExistsUseForce, EscapeText(output)).c_str());
        return kExitFailed;
    }
    return -1;
}
