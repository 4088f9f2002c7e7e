// Demo step of envelope packages: a folder sealed for two users, opened by one of them with the
// sender's signature verified, refused to a third.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Demo.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "envelope/Messages.h"
#include "logon/LogonStore.h"

namespace {

namespace fs = std::filesystem;

bool SealForTwo(DemoContext& demo) {
    LogonStore store;
    if (!store.Open(demo.home)) return false;
    LogonKeyRecord key;
    LogonUserRecord user;
    if (!store.GetUserRecords(key, user, "carol") &&
        store.AddUser("carol", "Carol", "carol@example.org", "carol-pw") == 0) {
        std::printf("  %s\n", store.LastError().c_str());
        return false;
    }
    ScopedLogonLibrary installed(&store);
    fs::path src = fs::path(demo.folder) / "letters";
    fs::create_directories(src / "2026");
    std::ofstream(src / "2026/offer.txt") << "the offer, for alice and bob only\n";
    std::ofstream(src / "note.txt") << "a note\n";

    if (!store.LogOn("alice", "alice-pw")) return false;
    EnvelopePackRequest request;
    request.packagePath = (fs::path(demo.folder) / "letters.vrk").string();
    request.paths = {src.string()};
    request.baseFolder = demo.folder;
    request.recipients = {"bob"};
    CKorvane engine;
    if (PackEnvelope(engine, request) != 1) return false;
    std::printf("  %s\n", MessageText(msg::cli_demo::AliceSealed, src.string(), request.packagePath,
                                      static_cast<uintmax_t>(fs::file_size(request.packagePath)))
                              .c_str());

    fs::path out = fs::path(demo.folder) / "opened";
    fs::create_directories(out);
    CKorvane reader;
    reader.m_presetOutFolder = out.string();
    int opened = reader.EnvelopDecryptFiles(request.packagePath.c_str(), nullptr, 0, 0);
    std::ifstream in(out / "letters/2026/offer.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("  %s\n",
                MessageText(msg::cli_demo::AliceOpens,
                            MessageText(text.empty() ? msg::cli_demo::NothingRestored : msg::cli_demo::OfferRestored),
                            MessageText(opened == 1 ? msg::cli_demo::Verified : msg::cli_demo::NotVerified))
                    .c_str());

    if (!store.LogOn("carol", "carol-pw")) return false;
    CKorvane third;
    third.m_presetOutFolder = out.string();
    third.m_batchSuccess = 1;
    // Silent, as in a batch: the refusal clears the batch flag instead of showing its box.
    int refused = third.EnvelopDecryptFiles(request.packagePath.c_str(), nullptr, 0, 1);
    std::printf("  %s\n", MessageText(msg::cli_demo::CarolRefused, refused == 0 && third.m_batchSuccess == 0
                                                                       ? MessageText(msg::envelope::NotRecipient)
                                                                       : MessageText(msg::cli_demo::NotRefused))
                              .c_str());
    store.LogOff();
    return opened == 1 && refused == 0 && third.m_batchSuccess == 0;
}

}  // namespace

VARNEX_DEMO_STEP(55, msg::cli_demo::TitleSealForTwo, SealForTwo);
