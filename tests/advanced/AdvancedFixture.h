#pragma once
// In-place encryption between registered users of a real test store: alice encrypts, bob and
// carol may share, dave is nobody's recipient. Each test works in its own temporary folder.

#include <filesystem>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "advanced/AdvanceEmcrypt.h"

class AdvancedTest : public LogonHostTest {
protected:
    void SetUp() override {
        AddUsers({"alice", "bob", "carol", "dave"});
        LogOn("alice");
    }
    int32_t Number(const std::string& id) {
        LogonKeyRecord key;
        LogonUserRecord user;
        return logon.GetUserRecords(key, user, id) ? user.number : 0;
    }

    // The list form of the batch drivers: each path (relative to dir) and its NUL, then a NUL.
    std::string List(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& n : names) paths.push_back(dir / n);
        return PathList(paths);
    }
    int Encrypt(const std::vector<std::string>& names, HWND notify = nullptr) {
        return engine.EncryptMuchFiles(List(names).c_str(), "alice", "pw-alice", notify);
    }
    // `sender` (logged on) share-encrypts `names` under the share path dir/share.
    int ShareEncrypt(const std::vector<std::string>& names, const std::string& share,
                     const std::string& sender = "alice") {
        LogOn(sender);
        return engine.ShareEncryptMuchFiles(List(names).c_str(), (dir / share).c_str(), sender.c_str(),
                                            Password(sender).c_str(), nullptr);
    }
    // `reader` restores a package into dir/out/<reader>; 1 when it could.
    int Restore(const std::string& reader, const std::string& package) {
        LogOn(reader);
        std::string out = dir / ("out/" + reader);
        std::filesystem::create_directories(out);
        CKorvane e;
        e.m_presetOutFolder = out;
        e.m_batchSuccess = 1;
        int result = e.EnvelopDecryptFiles(package.c_str(), nullptr, 0, 1);
        proved = e.SignerProved();
        LogOn("alice");
        return result;
    }
    // The package the last batch made of dir/name, "" when none.
    std::string PackageOf(const std::string& name) const {
        for (const auto& o : engine.m_outcomes)
            if (o.source == dir / name) return o.package;
        return {};
    }

    CAdvanceEmcrypt engine;
    SignerProof proved;  // what the last Restore's signature check proved of the sender
};
