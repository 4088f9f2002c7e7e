#include "FuzzSupport.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "logon/ILogon.h"
#include "platform/UiHost.h"

namespace fs = std::filesystem;

namespace fuzz {

namespace {

std::string TempRoot() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// Removes everything below folder, giving back the write bits restores take away (the
// read-only attribute) so nothing stays behind.
void EmptyFolder(const std::string& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

}  // namespace

std::string UserPassword(const std::string& userId) { return "fuzz-" + userId; }

bool OpenHome(LogonStore& store, const std::string& home) {
    if (!store.Open(home)) {
        std::fprintf(stderr, "fuzz: cannot open the store in %s: %s\n", home.c_str(), store.LastError().c_str());
        return false;
    }
    for (const char* id : {kSender, kRecipient}) {
        LogonKeyRecord key;
        LogonUserRecord user;
        if (store.GetUserRecords(key, user, id)) continue;
        if (store.AddUser(id, std::string(id) + " Fuzz", std::string(id) + "@example.org", UserPassword(id)) == 0) {
            std::fprintf(stderr, "fuzz: cannot add %s: %s\n", id, store.LastError().c_str());
            return false;
        }
    }
    return true;
}

ScratchFolder::ScratchFolder(const std::string& stem) {
    std::string tmpl = TempRoot() + "/varnex-fuzz-" + stem + "-XXXXXX";
    if (!mkdtemp(tmpl.data())) Fail("cannot make a temporary folder in " + TempRoot());
    m_path = tmpl;
}

ScratchFolder::~ScratchFolder() {
    EmptyFolder(m_path);
    std::error_code ec;
    fs::remove(m_path, ec);
}

World& World::Get() {
    static World world;
    return world;
}

World::World() {
    InstallUiHost(&host);
    // Reproducing one input: VARNEX_FUZZ_ECHO=1 prints every message the engine shows.
    if (getenv("VARNEX_FUZZ_ECHO")) host.EchoMessagesTo(stderr);
    host.AddAnswer("password", kPackagePassword);
    host.AddAnswer("replace", "yes");
    const char* seeded = getenv("VARNEX_FUZZ_HOME");
    std::error_code ec;
    if (seeded && *seeded && fs::is_directory(seeded, ec)) {
        fs::copy(seeded, m_home.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        if (ec) Fail(std::string("cannot copy ") + seeded + ": " + ec.message());
    }
    if (!OpenHome(store, m_home.Path())) Fail("no store");
    InstallLogonLibrary(&store);
    m_homeNames = {"mail", "tmp", "logon.db-wal", "logon.db-shm", "logon.db-journal"};
    for (const auto& entry : fs::directory_iterator(m_home.Path(), ec)) m_homeNames.insert(entry.path().filename());
}

std::string World::Begin(const uint8_t* data, size_t size, const std::string& name) {
    host.Clear();
    EmptyFolder(m_scratch.Path());
    std::error_code ec;
    fs::create_directories(OutFolder(), ec);
    m_input = name;
    std::string path = m_scratch / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) Fail("cannot write " + path);
    return path;
}

void World::CheckContained() {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(m_scratch.Path(), ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().lexically_relative(m_scratch.Path()).string();
        if (name == m_input || name == kSignedName || name == "box" || name == "box/out" ||
            name.rfind("box/out/", 0) == 0)
            continue;
        Fail("written outside the output folder: " + it->path().string());
    }
    for (const auto& entry : fs::directory_iterator(m_home.Path(), ec)) {
        if (!m_homeNames.count(entry.path().filename()))
            Fail("written into the suite folder: " + entry.path().string());
    }
}

void World::LogOn(const std::string& userId) {
    if (m_loggedOn == userId) return;
    if (!store.LogOn(userId, UserPassword(userId))) Fail("cannot log on as " + userId);
    m_loggedOn = userId;
}

void World::ClearMailFolder() {
    std::string folder;
    if (store.GetMailFolder(folder)) EmptyFolder(folder);
}

}  // namespace fuzz
