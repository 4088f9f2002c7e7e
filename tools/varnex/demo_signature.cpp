// Demo step of signature files: sign, verify, change a byte, verify again; then the security
// information of a password package, an envelope package and a signature file.

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Demo.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "logon/LogonStore.h"
#include "platform/ScriptedHost.h"
#include "shell/SecurityPage.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

void PrintReport(const ScriptedHost& host) {
    for (const ScriptedHost::Dialog& d : host.Dialogs())
        if (d.kind == "verify")
            for (const std::string& line : d.lines)
                if (!line.empty()) std::printf("    %s\n", line.c_str());
}

bool SignAndVerify(DemoContext& demo) {
    ScriptedHost host;
    ScopedUiHost installed(host);
    LogonStore store;
    ScopedLogonLibrary library(&store);
    if (!store.Open(demo.home) || !store.LogOn("alice", "alice-pw")) return false;
    fs::path contract = fs::path(demo.folder) / "contract.txt";
    Write(contract, "Delivery by 1 March, payment within 30 days.\n");
    std::string list = contract.string() + '\0' + '\0';
    CKorvane engine;
    engine.SignFiles(list.c_str(), "alice", "alice-pw", 0, 0);
    std::string signature = contract.string() + ".idi";
    std::printf(
        "  %s\n",
        MessageText(msg::cli_demo::Signed, signature, static_cast<uintmax_t>(fs::file_size(signature))).c_str());
    int first = engine.Verify_One_File(signature.c_str());
    std::printf("  %s\n", MessageText(msg::cli_demo::VerifiedResult, first).c_str());
    PrintReport(host);
    host.Clear();
    Write(contract, "Delivery by 1 March, payment within 90 days.\n");
    int second = engine.Verify_One_File(signature.c_str());
    std::printf("  %s\n", MessageText(msg::cli_demo::VerifiedAgain, second).c_str());
    PrintReport(host);

    // Security information of the three kinds of secured file the tour has made.
    fs::path sample = fs::path(demo.folder) / "sample.pkg";
    EnvelopePackRequest request;
    request.packagePath = (fs::path(demo.folder) / "contract.vrk").string();
    request.paths = {contract.string()};
    request.baseFolder = demo.folder;
    request.recipients = {"bob"};
    if (PackEnvelope(engine, request) != 1) return false;
    for (const std::string& path : {sample.string(), request.packagePath, signature}) {
        std::printf("  varnex info %s\n", fs::path(path).filename().c_str());
        for (const std::string& line : SecurityPageLines(ReadFileSecurity(engine, path)))
            std::printf("    %s\n", line.c_str());
    }
    return first == 1 && second == 1;
}

}  // namespace

VARNEX_DEMO_STEP(60, msg::cli_demo::TitleSignVerify, SignAndVerify);
