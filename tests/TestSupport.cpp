#include "TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "varnex-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    m_path = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files and folders made by tests must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(rng());
    return out;
}

std::string PathList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& p : paths) list.append(p).push_back('\0');
    list.push_back('\0');
    return list;
}

time_t ModifiedAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

CliOutcome RunVarnex(const TempDir& scratch, const std::string& home, const std::string& args, const std::string& env) {
    std::string cmd = "env -u VARNEX_PASSWORD -u VARNEX_HOME " + env + " '" VARNEX_CLI_PATH "' --home '" + home + "' " +
                      args + " </dev/null >'" + scratch / "cli.out" + "' 2>'" + scratch / "cli.err" + "'";
    int status = std::system(cmd.c_str());
    CliOutcome o;
    o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadFile(scratch / "cli.out");
    o.err = ReadFile(scratch / "cli.err");
    return o;
}
