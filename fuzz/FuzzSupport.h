#pragma once
// What every fuzz target shares: one world per process, made on the first input. It holds a
// scripted host (installed, answering the package password and "replace" with yes), a logon
// store in a temporary folder (installed as the logon library), and a scratch folder that is
// emptied before every input so one input never sees what another left behind.
//
// The store is a copy of the suite folder named by $VARNEX_FUZZ_HOME (written by
// varnex_fuzz_seeds beside the seed corpora, so the seeds' envelope and mail packages are
// addressed to keys the store holds). Without it the store is made here, with fresh keys made
// once for the process; the targets still run, the seeds then stop at the key.
//
// Temporary folders live on /dev/shm when it is there: the store commits every change with
// fsync, which costs nothing on a memory file system. VARNEX_FUZZ_ECHO=1 prints every message
// the engine shows (for reproducing one input).

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"

namespace fuzz {

// alice signs and sends; bob is the recipient the envelope and mail targets log on as.
inline constexpr const char* kSender = "alice";
inline constexpr const char* kRecipient = "bob";
inline constexpr const char* kPackagePassword = "fuzz-package";
// The file a fuzzed signature file is checked against: made beside it for every input.
inline constexpr const char* kSignedName = "signed.txt";
inline constexpr const char* kSignedContent = "the content the fuzz signatures cover\n";
// PBKDF2 count of the fuzz store's verifiers and keys (the tests' count, not the program's).
inline constexpr logon::KeyCost kFuzzIterations{16, 8, 1};

std::string UserPassword(const std::string& userId);

// Opens (or makes) the suite folder home in store, with alice and bob registered. false when
// the store cannot be opened or a user cannot be added (the reason is printed).
bool OpenHome(LogonStore& store, const std::string& home);

// A temporary folder of this process on /dev/shm (else $TMPDIR, else /tmp), removed with it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& stem);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class World {
public:
    // The process's world, made on first use. Aborts when it cannot be made: a target that
    // cannot reach its reader must not report a clean run.
    static World& Get();

    // Empties the scratch folder (making the output folder again), drops what the host
    // recorded, and writes data as the file `name` there. The file's path.
    std::string Begin(const uint8_t* data, size_t size, const std::string& name);
    // Aborts when the input left anything in the scratch folder but the input, the signed file
    // and what lies below the output folder, or anything new at the top of the suite folder
    // (mail is unpacked below its mail folder): a reader wrote outside the folder it was given.
    void CheckContained();
    // The folder restores write into, two levels below the scratch folder so that a name that
    // climbs out of it still lands where CheckContained looks.
    std::string OutFolder() const { return m_scratch / "box/out"; }
    std::string Scratch() const { return m_scratch.Path(); }
    // Logs userId on unless already logged on.
    void LogOn(const std::string& userId);
    // Empties the store's mail working folder, where mail packages are unpacked.
    void ClearMailFolder();

private:
    // Declared first: the folders outlive the store that works in them.
    ScratchFolder m_home{"home"};
    ScratchFolder m_scratch{"scratch"};

public:
    ScriptedHost host;
    LogonStore store{kFuzzIterations};

private:
    World();
    std::string m_loggedOn;
    std::string m_input;                // the name Begin wrote the input under
    std::set<std::string> m_homeNames;  // the suite folder's top level when the store was opened
};

}  // namespace fuzz
