#include "platform/ChildProcess.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileSystem.h"

extern char** environ;

int RunProgram(const std::vector<std::string>& args) {
    if (args.empty()) return -1;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string paths = path ? path : "";
    size_t start = 0;
    while (start <= paths.size()) {
        size_t colon = paths.find(':', start);
        std::string dir = paths.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty() && IsRunnable(dir + "/" + program)) return true;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return false;
}
