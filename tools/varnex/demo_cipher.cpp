// Demo steps of the cipher frame: the self-tests, a file block through each cipher, the cards
// that are not installed, and a signature made and checked with the default digest.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Demo.h"
#include "engine/Korvane.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"
#include "shell/SelfTests.h"

namespace {

bool ShowSelfTests(DemoContext&) {
    int symmetric = TestSymmtryEncrypt(3);
    std::printf("  %s\n", MessageText(msg::cli_demo::SelfTests,
                                      MessageText(symmetric ? msg::cli_demo::Passed : msg::cli_demo::Failed))
                              .c_str());
    return symmetric == 1;
}

bool ShowBlockRoundTrip(DemoContext&) {
    CKorvane engine;
    std::vector<unsigned char> block(307200), out(307200 + 8), back(307200 + 8);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 31 + 7);
    bool ok = true;
    for (int id : {45, 46, 62}) {
        char key[20], iv[8];
        int keyLength = 0, ivLength = 0;
        engine.Generate_EncryptKey(id, key, &keyLength, iv, &ivLength);
        auto* k = reinterpret_cast<unsigned char*>(key);
        auto* v = reinterpret_cast<unsigned char*>(iv);
        int n = 0, m = 0, d = 0, e = 0;
        bool one = engine.Evp_EncryptInit(k, v, id) && engine.Evp_EncryptUpdate(out.data(), &n, block.data(), 307200) &&
                   engine.Evp_EncryptFinalEx(out.data() + n, &m) && engine.Evp_DecryptInit(k, v, id) &&
                   engine.Evp_DecryptUpdate(back.data(), &d, out.data(), n + m) &&
                   engine.Evp_DecryptFinal(back.data() + d, &e) && d + e == 307200 &&
                   std::equal(block.begin(), block.end(), back.begin());
        std::printf("  %s\n", MessageText(msg::cli_demo::BlockRoundTrip, id, keyLength, block.size(), n + m,
                                          MessageText(one ? msg::cli_demo::Yes : msg::cli_demo::NoUpper))
                                  .c_str());
        ok = ok && one;
    }
    return ok;
}

// Key derivation cost of the demo's own stores: quick, since their passwords are printed anyway.
constexpr logon::KeyCost kDemoIterations{16, 8, 1};

bool ShowCardsAbsent(DemoContext& demo) {
    ScriptedHost host;
    ScopedUiHost installed(host);
    LogonStore logon(kDemoIterations);
    // A store of its own that permits the ISA card, so every card is asked for.
    if (!logon.Open(demo.folder + "/cards") || !logon.SetOption("Option", "IsaCard", "1")) return false;
    ScopedLogonLibrary library(&logon);
    CKorvane engine;
    unsigned char key[16] = {}, iv[8] = {};
    for (int id : {120, 121, 122, 123}) {
        host.Clear();
        int r = engine.Evp_EncryptInit(key, iv, id);
        std::printf("  %s\n", MessageText(msg::cli_demo::CipherState, id,
                                          r                         ? MessageText(msg::cli_demo::Ready)
                                          : host.Messages().empty() ? std::string()
                                                                    : host.Messages()[0].text)
                                  .c_str());
    }
    return true;
}

bool ShowSignature(DemoContext& demo) {
    ScriptedHost host;
    ScopedUiHost installed(host);
    LogonStore logon(kDemoIterations);
    ScopedLogonLibrary library(&logon);
    if (!logon.Open(demo.folder + "/signer") ||
        !logon.AddUser("demo", "Demo User", "demo@example.org", "demo-password") ||
        !logon.LogOn("demo", "demo-password")) {
        return false;
    }
    CKorvane engine;
    const std::string text = "The quarterly figures, as agreed.";
    auto* data = reinterpret_cast<const unsigned char*>(text.data());
    std::vector<unsigned char> signature(10240);
    unsigned length = 0;
    bool signedOk = engine.Evp_SignInit(42) == 1;
    engine.Evp_SignUpdate(data, static_cast<unsigned>(text.size()));
    signedOk = signedOk && engine.Evp_SignFinal(signature.data(), &length, "demo", "demo-password") == 1;
    std::printf("  %s\n", MessageText(msg::cli_demo::SignedWithDigest, text.size(), length).c_str());

    engine.Evp_VerifyInit(42, "demo", 4);
    engine.Evp_VerifyUpdate(data, static_cast<unsigned>(text.size()));
    int valid = engine.Evp_VerifyFinal(signature.data(), length, "demo", 4, 0);
    std::string changed = text;
    changed[4] = 'Q';
    engine.Evp_VerifyInit(42, "demo", 4);
    engine.Evp_VerifyUpdate(reinterpret_cast<const unsigned char*>(changed.data()),
                            static_cast<unsigned>(changed.size()));
    int invalid = engine.Evp_VerifyFinal(signature.data(), length, "demo", 4, 0);
    std::printf("  %s\n", MessageText(msg::cli_demo::VerifiedAsSigned, valid, invalid,
                                      host.Messages().empty() ? std::string() : host.Messages().back().text)
                              .c_str());
    return signedOk && valid == 1 && invalid == 0;
}

}  // namespace

VARNEX_DEMO_STEP(30, msg::cli_demo::TitleSelfTests, ShowSelfTests);
VARNEX_DEMO_STEP(31, msg::cli_demo::TitleBlockRoundTrip, ShowBlockRoundTrip);
VARNEX_DEMO_STEP(32, msg::cli_demo::TitleCardsAbsent, ShowCardsAbsent);
VARNEX_DEMO_STEP(33, msg::cli_demo::TitleSignature, ShowSignature);
