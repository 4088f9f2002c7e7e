// Signing on a token: 1,000 small files signed by a user whose key is on a SoftHSM2 token, beside
// the token's own signature rate (C_Sign of a DigestInfo in a loop) measured in the same run.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "Bench.h"
#include "BenchFiles.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "logon/TokenKeyDevice.h"
#include "platform/ScriptedHost.h"

namespace {

namespace fs = std::filesystem;
using Clock = BenchClock;

constexpr const char* kSoftHsm = "/usr/lib/softhsm/libsofthsm2.so";
constexpr const char* kPassword = "bench-password";

// C_Sign (CKM_RSA_PKCS) per second with the user's key, on a session of its own.
double TokenSignaturesPerSecond(const std::string& label) {
    std::string error;
    std::shared_ptr<logon::p11::Module> module = logon::p11::Module::Shared(kSoftHsm, nullptr, error);
    CK_SLOT_ID slot = 0;
    if (!module || module->FindToken("bench", slot) != CKR_OK) return 0;
    logon::p11::Session session(*module, slot);
    CK_RV rv = session.Open();
    if (rv == CKR_OK) rv = session.Login("123456");
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) return 0;
    CK_OBJECT_CLASS kind = CKO_PRIVATE_KEY;
    std::vector<CK_OBJECT_HANDLE> found;
    std::string name = label;
    if (session.Find({{CKA_CLASS, &kind, sizeof kind}, {CKA_LABEL, name.data(), name.size()}}, found) != CKR_OK ||
        found.empty())
        return 0;
    unsigned char info[35] = {0x30, 0x21}, signature[512];
    CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
    int n = 0;
    auto t0 = Clock::now();
    while (Seconds(t0) < 1.0 || n < 20) {
        CK_ULONG length = sizeof signature;
        if (session.F()->C_SignInit(session.Handle(), &mechanism, found[0]) != CKR_OK ||
            session.F()->C_Sign(session.Handle(), info, sizeof info, signature, &length) != CKR_OK)
            return 0;
        ++n;
    }
    return n / Seconds(t0);
}

void BenchToken() {
    if (access(kSoftHsm, R_OK) != 0) {
        std::printf("  softhsm2 is not installed\n");
        return;
    }
    fs::path work = fs::temp_directory_path() / ("varnex-bench-token-" + std::to_string(::getpid()));
    fs::create_directories(work / "tokens");
    fs::create_directories(work / "small");
    {
        std::FILE* conf = std::fopen((work / "softhsm2.conf").c_str(), "w");
        std::fprintf(conf, "directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n",
                     (work / "tokens").c_str());
        std::fclose(conf);
        std::FILE* pin = std::fopen((work / "pin").c_str(), "w");
        std::fputs("123456\n", pin);
        std::fclose(pin);
    }
    setenv("SOFTHSM2_CONF", (work / "softhsm2.conf").c_str(), 1);
    if (std::system("softhsm2-util --init-token --free --label bench --so-pin 12345678 --pin 123456 >/dev/null") != 0) {
        std::printf("  cannot make a token\n");
        return;
    }
    ScriptedHost host;
    ScopedUiHost installedHost(host);
    {
        logon::TokenSettings settings;
        settings.module = kSoftHsm;
        settings.pin = logon::PinFromFile((work / "pin").string());
        logon::StandardKeyDevices devices(settings);
        const logon::IKeyDeviceFactory* before = logon::BindThreadKeyDevices(&devices);
        LogonStore store;
        bool ready = store.Open((work / "suite").string()) &&
                     store.AddUser("bench", "Bench", "bench@example.org", kPassword, "pkcs11:token=bench") != 0 &&
                     store.LogOn("bench", kPassword);
        logon::BindThreadKeyDevices(before);
        if (!ready) {
            std::printf("  cannot set up a token user: %s\n", store.LastError().c_str());
            return;
        }
        ScopedLogonLibrary installedLogon(&store);
        std::vector<std::string> files;
        for (int i = 0; i < 1000; ++i) {
            files.push_back((work / "small" / ("f" + std::to_string(i))).string());
            MakeFile(files.back(), 1024, static_cast<unsigned>(i));
        }
        CKorvane engine(EngineContext{.keyDevices = &devices});
        auto t0 = Clock::now();
        for (size_t start = 0; start < files.size(); start += 200) {  // 200 files per call at most
            std::string list;
            for (size_t i = start; i < start + 200; ++i) list += files[i] + '\0';
            engine.SignFiles((list + '\0').c_str(), "bench", kPassword, 0, 0);
        }
        double perSecond = files.size() / Seconds(t0);
        size_t made = 0;
        for (const std::string& f : files) made += fs::exists(f + ".idi");
        double raw = TokenSignaturesPerSecond("bench");
        std::printf("  token C_Sign alone (RSA-2048, SoftHSM2): %.1f/s\n", raw);
        std::printf(
            "    1,000 small files signed on the token: %.1f files/s (%zu signed), cost per file %.2fx one "
            "token signature\n",
            perSecond, made, raw / perSecond);
        if (!host.Messages().empty()) std::printf("    messages were shown: %zu\n", host.Messages().size());
    }
    unsetenv("SOFTHSM2_CONF");
    fs::remove_all(work);
}

}  // namespace

VARNEX_BENCH("token", BenchToken);
