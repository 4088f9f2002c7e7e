#include "advanced/EncryptSources.h"

#include <cstdlib>
#include <filesystem>

#include "advanced/AdvanceEmcrypt.h"
#include "package/PackageWalker.h"

EncryptSourcesEnd CollectEncryptList(CAdvanceEmcrypt& engine, const std::vector<std::string>& paths, std::string& list,
                                     std::string& badPath) {
    namespace fs = std::filesystem;
    engine.m_leftOutEntries.clear();
    char* buffer = nullptr;
    int used = 0;
    struct Free {
        char*& buffer;
        ~Free() { std::free(buffer); }
    } release{buffer};
    for (const std::string& p : paths) {
        std::error_code ec;
        std::string path = fs::absolute(p, ec).lexically_normal().string();
        badPath = p;
        if (ec || !fs::exists(fs::symlink_status(path, ec))) return EncryptSourcesEnd::kMissing;
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        // A link named is refused as one met inside a folder is left out, but said at once: a
        // batch that quietly did nothing would read as done.
        if (fs::is_symlink(fs::symlink_status(path, ec))) return EncryptSourcesEnd::kLink;
        if (!engine.Collect_EncryptFileName(path.c_str(), &buffer, &used)) {
            // A full memory or a folder that cannot be listed has said so itself.
            if (!fs::is_regular_file(path, ec) && !fs::is_directory(path, ec))
                return EncryptSourcesEnd::kNotFileOrFolder;
            return EncryptSourcesEnd::kSaid;
        }
    }
    badPath.clear();
    list.assign(buffer ? buffer : "", static_cast<size_t>(used));
    list.push_back('\0');
    PackageWalker::ShowLeftOut(engine);
    return EncryptSourcesEnd::kOk;
}
