#pragma once
// Shared helpers of the test suites: a temporary folder removed afterwards, whole-file reads
// and writes, and a fixture that installs a scripted UI host.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

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

// The built varnex program run as a script runs it: no terminal, the suite folder `home`,
// `env` (VAR=value ...) before the program, output captured in files of `scratch`.
struct CliOutcome {
    int exit = -1;
    std::string out, err;
};
CliOutcome RunVarnex(const TempDir& scratch, const std::string& home, const std::string& args,
                     const std::string& env = {});

// A test with a fresh temporary folder and a scripted host installed for its duration.
class HostTest : public ::testing::Test {
protected:
    HostTest() : m_installed(host) {}
    ScriptedHost host;
    TempDir dir;

private:
    ScopedUiHost m_installed;
};
