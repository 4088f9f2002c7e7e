#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

namespace {

// The suite runs as a script does: without a controlling terminal, so a program it starts can
// never wait at a password prompt on the terminal the suite was started from (a test that
// wants a terminal makes its own). Leaving the session fails harmlessly when the suite was
// started as a process-group leader, from a shell prompt, where a prompt is seen.
[[maybe_unused]] const bool kDetached = [] { return ::setsid() >= 0; }();

// The suite reads the texts as they stand (the C locale), whatever language it was started in,
// and so do the programs it starts; a test that asserts a language sets it.
[[maybe_unused]] const bool kDefaultTexts = [] {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) ::unsetenv(name);
    return ::setenv("LANG", "C", 1) == 0;
}();

}  // namespace

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

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::vector<std::string> TempFilesBelow(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename().string().find(".varnex-") != std::string::npos) found.push_back(it->path().string());
    return found;
}

FolderLister SwapForLinkAfterListing(const std::string& folder, const std::string& target) {
    auto swapped = std::make_shared<bool>(false);
    return [=](int listed, std::vector<FolderEntry>& entries) {
        FolderListing listing = ReadFolderEntries(listed, entries);
        struct stat a {};
        struct stat b {};
        const std::string parent = std::filesystem::path(folder).parent_path().string();
        if (!*swapped && ::fstat(listed, &a) == 0 && ::stat(parent.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
            a.st_ino == b.st_ino) {
            *swapped = true;
            std::filesystem::remove_all(folder);
            std::filesystem::create_directory_symlink(target, folder);
        }
        return listing;
    };
}

FolderLister BreakListingAt(const std::string& name) {
    return [name](int listed, std::vector<FolderEntry>& entries) {
        FolderListing listing = ReadFolderEntries(listed, entries);
        auto at = std::find_if(entries.begin(), entries.end(), [&](const FolderEntry& e) { return e.name == name; });
        if (at == entries.end()) return listing;
        entries.erase(at, entries.end());
        return FolderListing::Broken;
    };
}

void MakeTree(const std::string& root, const std::vector<TreeEntry>& entries) {
    for (const TreeEntry& e : entries) {
        const std::string path = root + "/" + e.path;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        if (e.path.back() == '/') continue;
        WriteFile(path, RandomBytes(e.size, static_cast<unsigned>(e.size)));
        if (e.modified) {
            const struct timespec times[2] = {{e.modified, 0}, {e.modified, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
        if (e.readOnly) ::chmod(path.c_str(), 0444);
    }
}

void ExpectSameTree(const std::string& expected, const std::string& actual, const std::vector<std::string>& leftOut) {
    namespace fs = std::filesystem;
    auto list = [&](const std::string& root) {
        std::vector<std::string> found;
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            const std::string relative = it->path().lexically_relative(root).string();
            if (std::find(leftOut.begin(), leftOut.end(), relative) != leftOut.end())
                it.disable_recursion_pending();
            else
                found.push_back(relative + (it->is_directory() ? "/" : ""));
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    const std::vector<std::string> want = list(expected);
    EXPECT_FALSE(want.empty()) << expected;
    EXPECT_EQ(list(actual), want);
    for (const std::string& relative : want) {
        if (relative.back() == '/') continue;
        const std::string from = expected + "/" + relative, to = actual + "/" + relative;
        EXPECT_TRUE(ReadFile(to) == ReadFile(from)) << relative << ": other bytes";
        EXPECT_EQ(ModifiedAt(to), ModifiedAt(from)) << relative;
        EXPECT_EQ(ModeOf(to) & S_IWUSR, ModeOf(from) & S_IWUSR) << relative << ": write bit";
    }
}

void HostTest::TearDown() {
    for (const ScriptedHost::Message& m : host.Messages())
        EXPECT_FALSE(m.id.empty()) << "shown by text alone: " << m.text;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_saved = old, m_had = true;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        ::setenv(m_name.c_str(), m_saved.c_str(), 1);
    else
        ::unsetenv(m_name.c_str());
}

std::string MakeSoftHsmToken(const std::string& folder) {
    if (::access("/usr/lib/softhsm/libsofthsm2.so", R_OK) != 0 || ::access("/usr/bin/softhsm2-util", X_OK) != 0)
        return {};
    const std::string conf = folder + "/softhsm2.conf";
    std::filesystem::create_directories(folder + "/tokens");
    WriteFile(conf, "directories.tokendir = " + folder + "/tokens\nobjectstore.backend = file\nlog.level = ERROR\n");
    const std::string init = "SOFTHSM2_CONF='" + conf +
                             "' /usr/bin/softhsm2-util --init-token --free --label varnex --so-pin 12345678 "
                             "--pin 123456 >/dev/null 2>&1";
    return std::system(init.c_str()) == 0 ? conf : std::string();
}

CliOutcome RunVarnex(const TempDir& scratch, const std::string& home, const std::string& args, const std::string& env) {
    // A program that does not end within five minutes is stopped (exit 124): a hang fails the
    // test that met it instead of the whole run.
    std::string cmd =
        "timeout -k 10 300 env -u VARNEX_PASSWORD -u VARNEX_HOME -u VARNEX_MODULE_PATH -u DISPLAY -u WAYLAND_DISPLAY " +
        env + " '" VARNEX_CLI_PATH "' --home '" + home + "' " + args + " </dev/null >'" + scratch / "cli.out" +
        "' 2>'" + scratch / "cli.err" + "'";
    int status = std::system(cmd.c_str());
    CliOutcome o;
    o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadFile(scratch / "cli.out");
    o.err = ReadFile(scratch / "cli.err");
    return o;
}
