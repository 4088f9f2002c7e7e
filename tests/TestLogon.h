#pragma once
// The logon library of the tests: the real LogonStore in a temporary folder, with the test
// PBKDF2 count and RSA keys made once per process, and the few settings and devices a test
// must arrange (a key device taken away, the ISA card permitted).
//
// Everything else is the store itself: settings, users, certificates, groups, shares, the
// session and the key device behave as they do for the program.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

// Key derivation cost of verifiers and protected keys made in tests (the program's is
// logon::kKeyCost, over half a second).
inline constexpr logon::KeyCost kTestCost{16, 8, 1};

// An RSA key made once per process for each name, so a suite does not generate dozens of
// 2048-bit keys. The same name gives the same key pair; different names differ.
logon::PkeyPtr TestRsaKey(const std::string& name);

class TestLogon : public LogonStore {
public:
    // A fresh store in a temporary folder of its own.
    TestLogon();
    // The store in the suite folder home (another process on an existing store).
    explicit TestLogon(const std::string& home);
    ~TestLogon() override;

    // ---- Setting up
    // A user whose key pair is TestRsaKey(userId); type kLogonKeyDevice keeps the key on the
    // shared key device folder DeviceFolder(). The user number, or 0 (see LastError()).
    int32_t AddUser(const std::string& userId, const std::string& name, const std::string& email,
                    const std::string& password, int type = kLogonSoftwareKey);
    // A key-device user whose device is the folder given.
    int32_t AddUser(const std::string& userId, const std::string& name, const std::string& email,
                    const std::string& password, const std::string& deviceFolder) {
        return LogonStore::AddUser(userId, name, email, password, deviceFolder);
    }
    // Takes the key device away (its folder is moved aside) or brings it back.
    void SetDevicePresent(bool present);
    std::string DeviceFolder() const { return m_folder / "device"; }
    // The "IsaCard" setting: 1 or 2 permits the ISA card.
    void SetIsaCardState(int state);

protected:
    logon::PkeyPtr NewKeyPair(const std::string& userId) override;

private:
    TempDir m_folder;
};

// A test with a scripted host and a fresh test store installed as the logon library. Users
// added here are named after their id ("alice": "Alice", alice@example.org) and log on with
// Password(id).
class LogonHostTest : public HostTest {
protected:
    static std::string Password(const std::string& id) { return "pw-" + id; }
    void AddUsers(const std::vector<std::string>& ids);
    // Logs `id` on unless that user is logged on already: logging on writes the store.
    void LogOn(const std::string& id);

    TestLogon logon;

private:
    ScopedLogonLibrary m_installedLogon{&logon};
};
