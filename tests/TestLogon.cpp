#include "TestLogon.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/Text.h"

logon::PkeyPtr TestRsaKey(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, logon::PkeyPtr> keys;
    std::lock_guard<std::mutex> hold(lock);
    // User IDs ignore case in the store, so "Alice" and "alice" share one key.
    logon::PkeyPtr& key = keys[FoldAscii(name)];
    if (!key) key = logon::GenerateRsaKey();
    // A key pair is never changed once made, so every holder may share the one object.
    if (!key || EVP_PKEY_up_ref(key.get()) != 1) return nullptr;
    return logon::PkeyPtr(key.get());
}

TestLogon::TestLogon() : TestLogon(std::string()) {}

TestLogon::TestLogon(const std::string& home) : LogonStore(kTestCost) {
    std::string folder = home.empty() ? m_folder / "suite" : home;
    if (!Open(folder)) ADD_FAILURE() << "cannot open the test store in " << folder << ": " << LastError();
}

TestLogon::~TestLogon() { Close(); }

int32_t TestLogon::AddUser(const std::string& userId, const std::string& name, const std::string& email,
                           const std::string& password, int type) {
    return LogonStore::AddUser(userId, name, email, password, type == kLogonKeyDevice ? DeviceFolder() : "");
}

void TestLogon::SetDevicePresent(bool present) {
    std::string away = m_folder / "device.away";
    std::error_code ec;
    if (present && std::filesystem::exists(away, ec)) std::filesystem::rename(away, DeviceFolder(), ec);
    if (!present && std::filesystem::exists(DeviceFolder(), ec)) std::filesystem::rename(DeviceFolder(), away, ec);
    EXPECT_FALSE(ec) << ec.message();
}

void TestLogon::SetIsaCardState(int state) { SetOption("Option", "IsaCard", std::to_string(state)); }

logon::PkeyPtr TestLogon::NewKeyPair(const std::string& userId) { return TestRsaKey(userId); }

void LogonHostTest::AddUsers(const std::vector<std::string>& ids) {
    for (const std::string& id : ids) {
        const std::string name = static_cast<char>(std::toupper(static_cast<unsigned char>(id[0]))) + id.substr(1);
        ASSERT_NE(logon.AddUser(id, name, id + "@example.org", Password(id)), 0) << id << ": " << logon.LastError();
    }
}

void LogonHostTest::LogOn(const std::string& id) {
    std::string current;
    SecretText password;
    int type = 0;
    if (logon.GetLogonUser(current, password, type) && current == id) return;
    ASSERT_TRUE(logon.LogOn(id, Password(id))) << id << ": " << logon.LastError();
}
