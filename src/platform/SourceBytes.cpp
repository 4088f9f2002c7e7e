#include "platform/SourceBytes.h"

#include <filesystem>

namespace fs = std::filesystem;

uint64_t SourceBytes(const std::vector<std::string>& paths) {
    uint64_t total = 0;
    for (const std::string& p : paths) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) total += fs::file_size(p, ec);
        if (!fs::is_directory(p, ec)) continue;
        for (auto it = fs::recursive_directory_iterator(p, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file(ec) && !it->is_symlink(ec)) total += it->file_size(ec);
    }
    return total;
}
