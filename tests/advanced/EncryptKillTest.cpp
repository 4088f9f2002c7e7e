// varnex encrypt killed (SIGKILL) at many points over a folder of files: every original is
// either intact or has a complete package under its final name that opens to it.

#include <filesystem>
#include <map>

#include "KillPoints.h"
#include "TestLogon.h"
#include "advanced/AdvanceEmcrypt.h"

namespace fs = std::filesystem;

class EncryptKillTest : public HostTest {};

TEST_F(EncryptKillTest, EncryptKilledAnywhereLosesNoFile) {
    const std::string home = dir / "suite", work = dir / "work/";
    {
        TestLogon store(home);
        ASSERT_NE(store.AddUser("alice", "Alice", "alice@example.org", "pw-alice"), 0) << store.LastError();
    }
    WriteFile(dir / "pw", "pw-alice\n");
    // Sizes around the 307,200-byte block, a small one and an empty one.
    const std::map<std::string, std::string> originals = {{"a.txt", RandomBytes(10, 1)},
                                                          {"b.bin", RandomBytes(400000, 2)},
                                                          {"c.doc", RandomBytes(307200, 3)},
                                                          {"d", ""},
                                                          {"e.txt", RandomBytes(70000, 5)}};
    auto prepare = [&] {
        fs::remove_all(work);
        fs::create_directories(work);
        for (const auto& [name, content] : originals) WriteFile(work + name, content);
    };
    auto start = [&] {
        return StartVarnex(home, {"--user", "alice", "--password-file", dir / "pw", "--quiet", "encrypt", work});
    };
    auto check = [&](const KillPoint& point) {
        SCOPED_TRACE("kill point " + std::to_string(point.index));
        TestLogon store(home);
        ScopedLogonLibrary installed(&store);
        ASSERT_TRUE(store.LogOn("alice", "pw-alice"));
        Lumo_PrivateKey index;
        std::string indexName;
        ASSERT_TRUE(store.GetPrivateKeyIndex(index, indexName));
        std::map<std::string, std::string> packed;  // original name -> package
        for (const auto& entry : fs::directory_iterator(work)) {
            const std::string name = entry.path().filename().string();
            if (IsTempName(name) || entry.path().extension() != ".vrk") continue;
            // Under its final name a package is always complete: it tells and opens.
            CAdvanceEmcrypt engine;
            char stored[kMaxPath] = {}, time[kMaxPath] = {};
            ASSERT_EQ(engine.GetFileOriInfo(entry.path().c_str(), "alice", "pw-alice", index, stored, time), 1) << name;
            const std::string out = dir / ("out/" + name);
            fs::create_directories(out);
            engine.m_presetOutFolder = out;
            ASSERT_EQ(engine.EnvelopDecryptFiles(entry.path().c_str(), nullptr, 0, 1), 1) << name;
            EXPECT_EQ(ReadFile(out + "/" + stored), originals.at(stored)) << name;
            packed[stored] = name;
        }
        for (const auto& [name, content] : originals) {
            if (!packed.count(name)) {
                EXPECT_EQ(ReadFile(work + name), content) << name << " has no package";
            }
        }
        fs::remove_all(dir / "out");
    };
    KillPlan plan;
    plan.what = "varnex encrypt of five files";
    plan.count = 50;
    KillAtPoints(plan, prepare, start, check);
    EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];
}
