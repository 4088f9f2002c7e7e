#include "platform/TempFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_suiteFolder;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

void SetSuiteFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_suiteFolder = folder;
}

std::string SuiteFolder() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_suiteFolder.empty()) return g_suiteFolder;
    }
    if (std::string home = Env("VARNEX_HOME"); !home.empty()) return home;
    return Env("HOME") + "/.varnex";
}

bool UserTempFolder(std::string& out) {
    std::string folder = Env("TMPDIR");
    if (folder.empty()) {
        folder = SuiteFolder() + "/tmp";
        if (::mkdir(SuiteFolder().c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0) return false;
        if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
            errno = EPERM;
            return false;
        }
        if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
    }
    if (folder.back() != '/') folder += '/';
    out = folder;
    return true;
}
