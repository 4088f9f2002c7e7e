#pragma once
// The logon library of the tests: the real LogonStore in a temporary folder, with the test
// PBKDF2 count and RSA keys made once per process, plus the few answers a test must force
// (a store class that is unavailable, a refused mail address, the open query) and a record
// of what the engine asked (results opened, output begun and ended).
//
// Everything else is the store itself: settings, users, certificates, groups, shares, the
// session and the key device behave as they do for the program.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

// PBKDF2 count of verifiers and protected keys made in tests (the program's is 200,000).
inline constexpr uint32_t kTestIterations = 1000;

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
    // Installs the certificate under name through the store's own import; confirm records it
    // as checked. 1 when installed, 0 when the store refuses it.
    int InstallCert(const std::string& name, X509* cert, bool confirm = true);
    // Takes the key device away (its folder is moved aside) or brings it back.
    void SetDevicePresent(bool present);
    std::string DeviceFolder() const { return m_folder / "device"; }
    // The "IsaCard" setting: 1 or 2 permits the ISA card.
    void SetIsaCardState(int state);
    // The "MarkOutput" setting: non-zero makes the output-folder query answer 1.
    void SetOutputFolderAnswer(int answer);

    // ---- Forced answers
    // The open query answers this instead of running the "OpenWith" program.
    void SetOpenResultAnswer(int answer) { m_openResultAnswer = answer; }
    void RefuseMailAddress(const std::string& email) { m_refusedMail.insert(email); }
    void SetStoreAvailable(LogonStoreKind kind, bool available);

    // ---- What callers did
    const std::vector<std::string>& OpenedResults() const { return m_opened; }
    int BeginOutputCalls() const { return m_beginOutputs; }
    int EndOutputCalls() const { return m_endOutputs; }

    int OpenResult(const std::string& path) override;
    int IsMailAddressUsable(const std::string& email) override;
    int OpenStore(LogonStoreKind kind) override;
    void BeginOutput() override;
    void EndOutput() override;

protected:
    logon::PkeyPtr NewKeyPair(const std::string& userId) override;

private:
    TempDir m_folder;
    std::set<std::string> m_refusedMail;
    std::set<LogonStoreKind> m_unavailable;
    std::vector<std::string> m_opened;
    int m_openResultAnswer = -1;  // -1: not forced
    int m_beginOutputs = 0;
    int m_endOutputs = 0;
};

// A test with a scripted host and a fresh test store installed as the logon library.
class LogonHostTest : public HostTest {
protected:
    TestLogon logon;

private:
    ScopedLogonLibrary m_installedLogon{&logon};
};
