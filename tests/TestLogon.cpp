#include "TestLogon.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace {

std::string Fold(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

logon::PkeyPtr TestRsaKey(const std::string& name) {
    static std::mutex lock;
    static std::map<std::string, logon::PkeyPtr> keys;
    std::lock_guard<std::mutex> hold(lock);
    // User IDs ignore case in the store, so "Alice" and "alice" share one key.
    logon::PkeyPtr& key = keys[Fold(name)];
    if (!key) key = logon::GenerateRsaKey();
    // A key pair is never changed once made, so every holder may share the one object.
    if (!key || EVP_PKEY_up_ref(key.get()) != 1) return nullptr;
    return logon::PkeyPtr(key.get());
}

TestLogon::TestLogon() : TestLogon(std::string()) {}

TestLogon::TestLogon(const std::string& home) : LogonStore(kTestIterations) {
    std::string folder = home.empty() ? m_folder / "suite" : home;
    if (!Open(folder)) ADD_FAILURE() << "cannot open the test store in " << folder << ": " << LastError();
}

TestLogon::~TestLogon() { Close(); }

int32_t TestLogon::AddUser(const std::string& userId, const std::string& name, const std::string& email,
                           const std::string& password, int type) {
    return LogonStore::AddUser(userId, name, email, password, type == kLogonKeyDevice ? DeviceFolder() : "");
}

int TestLogon::InstallCert(const std::string& name, X509* cert, bool confirm) {
    std::string file = m_folder / "import.pem", installed;
    WriteFile(file, logon::CertToPem(cert));
    bool ok = ImportCert(file, name, installed) && (!confirm || ConfirmCert(installed));
    std::filesystem::remove(file);
    return ok ? 1 : 0;
}

void TestLogon::SetDevicePresent(bool present) {
    std::string away = m_folder / "device.away";
    std::error_code ec;
    if (present && std::filesystem::exists(away, ec)) std::filesystem::rename(away, DeviceFolder(), ec);
    if (!present && std::filesystem::exists(DeviceFolder(), ec)) std::filesystem::rename(DeviceFolder(), away, ec);
    EXPECT_FALSE(ec) << ec.message();
}

void TestLogon::SetIsaCardState(int state) { SetOption("Option", "IsaCard", std::to_string(state)); }

void TestLogon::SetOutputFolderAnswer(int answer) { SetOption("Option", "MarkOutput", answer ? "TRUE" : "FALSE"); }

void TestLogon::SetStoreAvailable(LogonStoreKind kind, bool available) {
    if (available)
        m_unavailable.erase(kind);
    else
        m_unavailable.insert(kind);
}

int TestLogon::OpenResult(const std::string& path) {
    m_opened.push_back(path);
    return m_openResultAnswer >= 0 ? m_openResultAnswer : LogonStore::OpenResult(path);
}

int TestLogon::IsMailAddressUsable(const std::string& email) {
    return m_refusedMail.count(email) ? 0 : LogonStore::IsMailAddressUsable(email);
}

int TestLogon::OpenStore(LogonStoreKind kind) { return m_unavailable.count(kind) ? 0 : LogonStore::OpenStore(kind); }

void TestLogon::BeginOutput() {
    ++m_beginOutputs;
    LogonStore::BeginOutput();
}

void TestLogon::EndOutput() {
    ++m_endOutputs;
    LogonStore::EndOutput();
}

logon::PkeyPtr TestLogon::NewKeyPair(const std::string& userId) { return TestRsaKey(userId); }
