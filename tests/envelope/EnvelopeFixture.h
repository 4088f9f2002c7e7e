#pragma once
// Envelope packages between three registered users of one real logon store: alice, bob and
// carol. The store (and its RSA keys) is made once for the suite; each test packs and restores
// in its own temporary folder.

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonStore.h"

class EnvelopeTest : public HostTest {
protected:
    static void SetUpTestSuite() {
        s_home = std::make_unique<TempDir>();
        s_store = std::make_unique<LogonStore>(1000);
        ASSERT_TRUE(s_store->Open(s_home->Path())) << s_store->LastError();
        for (const char* id : {"alice", "bob", "carol"})
            ASSERT_NE(s_store->AddUser(id, std::string(id) + " Name", std::string(id) + "@example.org", Password(id)),
                      0)
                << s_store->LastError();
    }
    static void TearDownTestSuite() {
        s_store.reset();
        s_home.reset();
    }
    static std::string Password(const std::string& id) { return "pw-" + id; }

    void LogOn(const std::string& id) { ASSERT_TRUE(s_store->LogOn(id, Password(id))); }

    // alice (or `sender`) packs `paths` (relative to dir) for herself and `to` into dir/name.
    int Pack(const std::vector<std::string>& paths, const std::vector<std::string>& to = {"bob"},
             const std::string& name = "e.vrk", const std::string& sender = "alice", uint8_t kind = 2) {
        LogOn(sender);
        CKorvane e;
        EnvelopePackRequest request;
        request.packagePath = dir / name;
        for (const std::string& p : paths) request.paths.push_back(dir / p);
        request.baseFolder = dir / "src";
        request.recipients = to;
        request.kind = kind;
        return PackEnvelope(e, request);
    }
    // `reader` restores dir/name into dir/out with a fresh engine.
    int Restore(const std::string& reader, const std::string& name = "e.vrk", int silent = 0) {
        LogOn(reader);
        std::filesystem::create_directories(dir / "out");
        CKorvane e;
        e.m_presetOutFolder = dir / "out";
        e.m_batchSuccess = 1;
        int result = e.EnvelopDecryptFiles((dir / name).c_str(), nullptr, 0, silent);
        batchSuccess = e.m_batchSuccess;
        return result;
    }

    static time_t ModifiedAt(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mtime;
    }

    ScopedLogonLibrary installed{s_store.get()};
    int batchSuccess = 1;
    static inline std::unique_ptr<TempDir> s_home;
    static inline std::unique_ptr<LogonStore> s_store;
};
