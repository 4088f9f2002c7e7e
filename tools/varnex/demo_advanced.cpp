// Demo step of encryption in place: a folder's files each become a package under a generated
// name, one package tells its original name and opens again, and a file is shared with the
// group the shared folder names.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Demo.h"
#include "advanced/AdvanceEmcrypt.h"
#include "logon/LogonStore.h"

namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool EncryptInPlace(DemoContext& demo) {
    LogonStore store;
    if (!store.Open(demo.home) || !store.LogOn("alice", "alice-pw")) return false;
    ScopedLogonLibrary installed(&store);
    fs::path folder = fs::path(demo.folder) / "inplace";
    fs::create_directories(folder / "2026");
    std::ofstream(folder / "report.doc") << "the quarterly report\n";
    std::ofstream(folder / "2026/plan.txt") << "the plan\n";

    CAdvanceEmcrypt engine;
    char* list = nullptr;
    int used = 0;
    if (!engine.Collect_EncryptFileName(folder.c_str(), &list, &used)) return false;
    std::string paths(list, static_cast<size_t>(used));
    std::free(list);
    paths.push_back('\0');
    engine.EncryptMuchFiles(paths.c_str(), "alice", "alice-pw", nullptr);
    std::string report;
    for (const auto& o : engine.m_outcomes) {
        std::printf("  %s -> %s\n", fs::relative(o.source, demo.folder).c_str(),
                    o.package.empty() ? MessageText(msg::cli_demo::FailedMark).c_str()
                                      : fs::relative(o.package, demo.folder).c_str());
        if (fs::path(o.source).filename() == "report.doc") report = o.package;
    }
    if (report.empty() || fs::exists(folder / "report.doc")) return false;

    Lumo_PrivateKey index;
    std::string indexName;
    char name[kMaxPath] = {}, time[kMaxPath] = {};
    store.GetPrivateKeyIndex(index, indexName);
    if (!engine.GetFileOriInfo(report.c_str(), "alice", "alice-pw", index, name, time)) return false;
    std::printf("  %s\n",
                MessageText(msg::cli_demo::ReportHolds, fs::path(report).filename().string(), name, time).c_str());
    fs::path out = fs::path(demo.folder) / "reopened";
    fs::create_directories(out);
    CKorvane reader;
    reader.m_presetOutFolder = out.string();
    reader.m_keepPackages = true;
    if (reader.EnvelopDecryptFiles(report.c_str(), nullptr, 0, 0) != 1) return false;
    std::printf("  %s", MessageText(msg::cli_demo::OpenedAgain, Text(out / "report.doc")).c_str());

    // Shared: alice and the group "team" may open what is encrypted for the shared folder.
    fs::path memo = fs::path(demo.folder) / "memo.txt";
    std::ofstream(memo) << "for the team\n";
    std::string one = memo.string() + '\0' + '\0';
    if (engine.ShareEncryptMuchFiles(one.c_str(), (fs::path(demo.folder) / "shared").c_str(), "alice", "alice-pw",
                                     nullptr) != 1 ||
        engine.m_outcomes.empty() || engine.m_outcomes[0].package.empty())
        return false;
    const std::string shared = engine.m_outcomes[0].package;
    bool allowed = store.LogOn("bob", "bob-pw") && store.GetPrivateKeyIndex(index, indexName) &&
                   engine.GetFileOriInfo(shared.c_str(), "bob", "bob-pw", index, name, time) == 1;
    bool refused = store.LogOn("carol", "carol-pw") && store.GetPrivateKeyIndex(index, indexName) &&
                   engine.GetFileOriInfo(shared.c_str(), "carol", "carol-pw", index, name, time) == 0;
    std::printf("  %s\n", MessageText(msg::cli_demo::MemoShared, fs::path(shared).filename().string(),
                                      MessageText(allowed ? msg::cli_demo::Yes : msg::cli_demo::NoUpper),
                                      MessageText(refused ? msg::cli_demo::Yes : msg::cli_demo::NoUpper))
                              .c_str());
    store.LogOff();
    return allowed && refused;
}

}  // namespace

VARNEX_DEMO_STEP(57, msg::cli_demo::TitleEncryptInPlace, EncryptInPlace);
