#pragma once
// Shared helpers of the test suites: a temporary folder removed afterwards, whole-file reads
// and writes, and a fixture that installs a scripted UI host.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FolderList.h"
#include "platform/ScriptedHost.h"

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
// `size` deterministic pseudo-random bytes.
std::string RandomBytes(size_t size, unsigned seed = 1);
// The list form of the engine's batch calls: each path and its NUL, then one more NUL.
std::string PathList(const std::vector<std::string>& paths);
// The file's modification time in whole seconds (0 when it cannot be read).
time_t ModifiedAt(const std::string& path);
// The permission bits of the path itself (a link is not followed).
mode_t ModeOf(const std::string& path);
// The temporary files of the engine (".NAME.varnex-XXXXXX") anywhere below `folder`.
std::vector<std::string> TempFilesBelow(const std::string& folder);

// Listers for ScopedFolderLister that change the tree or fail while a walk runs. The first
// swaps the folder `folder` for a link to `target` right after the listing of the folder that
// holds it (once): between listing and descent. The second breaks the listing of every folder
// holding an entry `name`, after the entries before it.
FolderLister SwapForLinkAfterListing(const std::string& folder, const std::string& target);
FolderLister BreakListingAt(const std::string& name);

// One entry of a test tree, by its path below the tree's root: a folder when the path ends in
// '/', else a file of `size` bytes (RandomBytes seeded by the size), read-only when asked, and
// modified at `modified` (seconds) unless that is 0.
struct TreeEntry {
    std::string path;
    size_t size = 0;
    bool readOnly = false;
    time_t modified = 0;
};
void MakeTree(const std::string& root, const std::vector<TreeEntry>& entries);
// Expects `actual` to hold what `expected` holds, but for the paths below it named in `leftOut`
// (and what lies below them): the same folders, and files with the same bytes, modification
// second and owner write bit.
void ExpectSameTree(const std::string& expected, const std::string& actual,
                    const std::vector<std::string>& leftOut = {});

// Sets an environment variable (unsets it when `value` is null) for the object's life, then
// puts back what stood before.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name, m_saved;
    bool m_had = false;
};

// Composed mail goes to a desktop's mail program when DISPLAY or WAYLAND_DISPLAY is set: tests
// that send mail clear both while they run, so no real mail program starts.
struct NoDesktopSession {
    ScopedEnv display{"DISPLAY", nullptr}, wayland{"WAYLAND_DISPLAY", nullptr};
};

// A SoftHSM2 token labelled "varnex" (user PIN 123456) in `folder`/tokens; answers the path of
// its configuration file for SOFTHSM2_CONF, or "" when SoftHSM2 is missing or the token could
// not be made.
std::string MakeSoftHsmToken(const std::string& folder);

// The built varnex program run as a script runs it: no terminal, no desktop session, the modules
// it ships with, the suite folder `home`, `env` (VAR=value ...) before the program, output
// captured in files of `scratch`.
struct CliOutcome {
    int exit = -1;
    std::string out, err;
};
CliOutcome RunVarnex(const TempDir& scratch, const std::string& home, const std::string& args,
                     const std::string& env = {});

// A test with a fresh temporary folder and a scripted host installed for its duration.
// Every message box the test leaves in the host must have come by name from a message table.
class HostTest : public ::testing::Test {
protected:
    HostTest() : m_installed(host) {}
    void TearDown() override;
    ScriptedHost host;
    TempDir dir;

private:
    ScopedUiHost m_installed;
};
