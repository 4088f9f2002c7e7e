// Encryption in place for the logged-on user: generated names, skips, the questions, progress,
// and packages that open to what was encrypted.

// The generated-name test scripts the random generator through its method table, an interface
// the crypto library keeps for this purpose though it marks it as old.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>

#include "AdvancedFixture.h"

namespace fs = std::filesystem;

namespace {

// While installed, the random generator gives these draws in order (each one the name a draw
// maps to, as letters and digits stay as they are), then 'z's.
class ScriptedRandom {
public:
    explicit ScriptedRandom(std::deque<std::string> draws) : m_saved(RAND_get_rand_method()) {
        Draws() = std::move(draws);
        RAND_set_rand_method(&kMethod);
    }
    ~ScriptedRandom() { RAND_set_rand_method(m_saved); }
    ScriptedRandom(const ScriptedRandom&) = delete;
    ScriptedRandom& operator=(const ScriptedRandom&) = delete;

private:
    static std::deque<std::string>& Draws() {
        static std::deque<std::string> draws;
        return draws;
    }
    static int Bytes(unsigned char* out, int n) {
        std::string next(static_cast<size_t>(n), 'z');
        if (!Draws().empty()) {
            next = Draws().front();
            Draws().pop_front();
        }
        std::memset(out, 'z', static_cast<size_t>(n));
        std::memcpy(out, next.data(), std::min(next.size(), static_cast<size_t>(n)));
        return 1;
    }
    static int Seed(const void*, int) { return 1; }
    static int Status() { return 1; }
    static constexpr RAND_METHOD kMethod = {Seed, Bytes, nullptr, nullptr, Bytes, Status};

    const RAND_METHOD* m_saved;
};

}  // namespace

// A drawn name that is taken, by a file or by a link that leads nowhere, is drawn again.
TEST(GeneratedNames, TakenNamesAreDrawnAgain) {
    TempDir dir;
    WriteFile(dir / "AAAAAAAAAA.doc.vrk", "an earlier package");
    fs::create_symlink(dir / "gone", dir / "BBBBBBBBBB.doc.vrk");
    CAdvanceEmcrypt engine;
    char folder[kMaxPath] = {}, out[kMaxPath] = {};
    std::snprintf(folder, sizeof folder, "%s", dir.Path().c_str());
    {
        ScriptedRandom random({"AAAAAAAAAA", "BBBBBBBBBB", "CCCCCCCCCC"});
        engine.Generate_RandomEncryptFileName(folder, "doc", out);
    }
    EXPECT_EQ(std::string(out), dir / "CCCCCCCCCC.doc.vrk");
    EXPECT_EQ(ReadFile(dir / "AAAAAAAAAA.doc.vrk"), "an earlier package");
}

TEST_F(AdvancedTest, PackagesGetGeneratedNamesBesideTheirFilesAndOpenToTheOriginals) {
    fs::create_directories(dir / "a");
    WriteFile(dir / "a/report.doc", "the report");
    WriteFile(dir / "a/README", "no extension");
    WriteFile(dir / "a/one.txt", "one");
    WriteFile(dir / "a/two.txt", "two");
    for (const char* skipped : {"x.VRK", "x.vrk$", "x.idi", "~$x.doc"})
        WriteFile(dir / (std::string("a/") + skipped), "keep");
    ASSERT_EQ(
        Encrypt({"a/report.doc", "a/README", "a/one.txt", "a/two.txt", "a/x.VRK", "a/x.vrk$", "a/x.idi", "a/~$x.doc"},
                host.Window()),
        1);
    EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];
    ASSERT_EQ(engine.m_outcomes.size(), 8u);
    for (size_t i = 0; i < engine.m_outcomes.size(); ++i)
        EXPECT_EQ(engine.m_outcomes[i].fate,
                  i < 4 ? CAdvanceEmcrypt::Fate::kEncrypted : CAdvanceEmcrypt::Fate::kSkipped)
            << engine.m_outcomes[i].source;

    const std::string folder = dir / "a/";
    // FOLDER, 8 letters or digits, then the suffix.
    auto generated = [&](const std::string& path, const std::string& suffix) {
        const size_t at = folder.size();
        return path.size() == at + 8 + suffix.size() && path.compare(0, at, folder) == 0 &&
               path.compare(at + 8, std::string::npos, suffix) == 0 &&
               std::all_of(path.begin() + at, path.begin() + at + 8, [](unsigned char c) { return std::isalnum(c); });
    };
    EXPECT_TRUE(generated(PackageOf("a/report.doc"), ".doc.vrk")) << PackageOf("a/report.doc");
    EXPECT_TRUE(generated(PackageOf("a/README"), ".vrk")) << PackageOf("a/README");
    EXPECT_NE(PackageOf("a/one.txt"), PackageOf("a/two.txt")) << "two names drawn within one second differ";
    for (const char* skipped : {"x.VRK", "x.vrk$", "x.idi", "~$x.doc"}) {
        EXPECT_EQ(ReadFile(dir / (std::string("a/") + skipped)), "keep");
        EXPECT_EQ(PackageOf(std::string("a/") + skipped), "");
    }
    for (const char* name : {"report.doc", "README", "one.txt", "two.txt"}) {
        EXPECT_FALSE(fs::exists(dir / (std::string("a/") + name))) << name << " is wiped";
        const std::string package = PackageOf(std::string("a/") + name);
        EXPECT_TRUE(fs::exists(package));
        EXPECT_EQ(ModeOf(package) & 0222, 0u) << "packages are read-only";
    }

    // Progress: the per-file payloads climb to 100 only with the last file.
    std::vector<int> percents;
    for (const auto& m : host.WindowMessages())
        if (m.msg == WM_PROGRESS_FILE) percents.push_back(m.percent);
    ASSERT_EQ(percents.size(), 16u);
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), 1);

    ASSERT_EQ(Restore("alice", PackageOf("a/report.doc")), 1);
    EXPECT_EQ(ReadFile(dir / "out/alice/report.doc"), "the report");
    EXPECT_EQ(Restore("bob", PackageOf("a/README")), 0) << "a package of kind 2 is for its owner alone";
}

TEST_F(AdvancedTest, FixedNamesReplaceAnExistingPackageOnlyWithACompleteOne) {
    ASSERT_TRUE(logon.SetOption("Option", "RandFileName", "false"));
    WriteFile(dir / "report.doc", "new report");
    // A file of that name that is no package is the user's: it stays, and so does the original.
    WriteFile(dir / "report.doc.vrk", "notes, not a package");
    ASSERT_EQ(Encrypt({"report.doc"}), 1);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"advanced.NotAPackageInTheWay"});
    EXPECT_EQ(ReadFile(dir / "report.doc.vrk"), "notes, not a package");
    EXPECT_EQ(ReadFile(dir / "report.doc"), "new report");
    host.Clear();

    fs::remove(dir / "report.doc.vrk");
    WriteFile(dir / "report.doc", "old report");
    ASSERT_EQ(Encrypt({"report.doc"}), 1);
    const std::string older = ReadFile(dir / "report.doc.vrk");
    WriteFile(dir / "report.doc", "new report");
    // Logged off between the password check and the package: the batch stops, nothing is lost.
    logon.LogOff();
    ASSERT_EQ(Encrypt({"report.doc"}), 1);
    ASSERT_EQ(engine.m_outcomes.size(), 1u);
    EXPECT_EQ(engine.m_outcomes[0].fate, CAdvanceEmcrypt::Fate::kStopped);
    EXPECT_EQ(ReadFile(dir / "report.doc.vrk"), older);
    EXPECT_EQ(ReadFile(dir / "report.doc"), "new report");

    LogOn("alice");
    ASSERT_EQ(Encrypt({"report.doc"}), 1);
    EXPECT_EQ(PackageOf("report.doc"), dir / "report.doc.vrk");
    ASSERT_EQ(Restore("alice", dir / "report.doc.vrk"), 1);
    EXPECT_EQ(ReadFile(dir / "out/alice/report.doc"), "new report");
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());

    // A path whose ".vrk" name would not fit is refused, never cut back to the source's own name.
    const std::string deep = std::string(200, 'd') + "/";
    fs::create_directories(dir / deep);
    const std::string name = deep + std::string(kMaxPath - 1 - (dir / deep).size(), 'f');
    WriteFile(dir / name, "long");
    host.Clear();
    ASSERT_EQ(Encrypt({name}), 1);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"advanced.EncryptFailed"});
    EXPECT_EQ(ReadFile(dir / name), "long");
}

TEST_F(AdvancedTest, AbortStopsAfterTheFileIgnoreGoesOnAndAnEmptyListAsksNothing) {
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "b.txt", "b");
    WriteFile(dir / "c.txt", "c");
    host.AddAnswer("retry", "ignore");
    ASSERT_EQ(Encrypt({"missing", "a.txt"}), 1);
    ASSERT_EQ(host.MessageTexts().size(), 1u);
    EXPECT_EQ(host.MessageTexts()[0],
              "不能打开文件\"" + dir / "missing" + "\"，可能文件正在被使用或者您没有该文件的读权限.");
    EXPECT_NE(PackageOf("a.txt"), "");

    host.Clear();
    host.AddAnswer("retry", "abort");
    ASSERT_EQ(Encrypt({"b.txt", "missing", "c.txt"}), 1);
    EXPECT_EQ(engine.m_outcomes.size(), 2u);
    EXPECT_NE(PackageOf("b.txt"), "");
    EXPECT_EQ(ReadFile(dir / "c.txt"), "c") << "nothing after the stop is touched";

    host.Clear();
    engine.m_quiet = 1;  // a quiet batch passes over what cannot be opened
    ASSERT_EQ(Encrypt({"missing"}), 1);
    EXPECT_TRUE(host.Messages().empty());

    host.Clear();
    ASSERT_EQ(engine.EncryptMuchFiles("\0", "alice", "wrong", host.Window()), 1);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(host.WindowMessages().empty());
    EXPECT_TRUE(host.Progress().empty());
    EXPECT_TRUE(engine.m_outcomes.empty());
}

// Packages are made and signed as the user logged on: a batch for anybody else is refused
// before that user's password is tried, and nothing is touched.
TEST_F(AdvancedTest, BatchForAUserWhoIsNotLoggedOnIsRefused) {
    WriteFile(dir / "a.txt", "a");
    const std::string list = List({"a.txt"});
    EXPECT_EQ(engine.EncryptMuchFiles(list.c_str(), "bob", Password("bob").c_str(), nullptr), 0);
    EXPECT_EQ(
        engine.ShareEncryptMuchFiles(list.c_str(), (dir / "share").c_str(), "bob", Password("bob").c_str(), nullptr),
        0);
    const std::string refused = "用户\"bob\"不是当前登录的用户，不能为其加密文件。";
    EXPECT_EQ(host.MessageTexts(), (std::vector<std::string>{refused, refused}));
    EXPECT_EQ(ReadFile(dir / "a.txt"), "a");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 1) << "no package";
}

// Packages are collected: the batch passes over them by name and lists them as skipped.
TEST_F(AdvancedTest, CollectionLeavesOutDirinfoDesktopIniAndLinksButNotPackages) {
    fs::create_directories(dir / "t/My Documents/sub");
    fs::create_directories(dir / "t/dirinfo");
    for (const char* f : {"t/a.txt", "t/b.VRK", "t/My Documents/Desktop.ini", "t/My Documents/sub/c.txt",
                          "t/dirinfo/d.txt", "outside.txt"})
        WriteFile(dir / f, "x");
    fs::create_symlink(dir / "outside.txt", dir / "t/link.txt");
    char* buffer = nullptr;
    int used = 0;
    ASSERT_EQ(engine.Collect_EncryptFileName((dir / "t").c_str(), &buffer, &used), 1);
    ASSERT_EQ(engine.Collect_EncryptFileName((dir / "outside.txt").c_str(), &buffer, &used), 1);
    // Named directly, a link to a file is left out too: wiping the link would leave its file plain.
    ASSERT_EQ(engine.Collect_EncryptFileName((dir / "t/link.txt").c_str(), &buffer, &used), 1);
    EXPECT_EQ(engine.Collect_EncryptFileName((dir / "missing").c_str(), &buffer, &used), 0);
    std::vector<std::string> got;
    for (int at = 0; at < used; at += static_cast<int>(std::strlen(buffer + at)) + 1) got.emplace_back(buffer + at);
    std::free(buffer);
    EXPECT_EQ(got, (std::vector<std::string>{dir / "t/My Documents/sub/c.txt", dir / "t/a.txt", dir / "t/b.VRK",
                                             dir / "outside.txt"}));
    EXPECT_EQ(engine.m_leftOutEntries, (std::vector<std::string>{dir / "t/link.txt", dir / "t/link.txt"}));
}

// The collection enters each folder through the one that holds it: a folder swapped for a link
// between listing and descent is not followed but left out and named, and a listing that breaks
// part way fails the collection with the folder's name (the rest would be encrypted while the
// folder's files stayed plain).
TEST_F(AdvancedTest, CollectionNeverFollowsAFolderSwappedForALinkAndFailsOnABrokenListing) {
    MakeTree(dir / "t", {{"a.txt", 1}, {"sub/b.txt", 2}, {"sub/c.txt", 3}});
    MakeTree(dir / "outside", {{"secret", 4}});
    auto collect = [&](std::vector<std::string>* got) {
        char* buffer = nullptr;
        int used = 0;
        int result = engine.Collect_EncryptFileName((dir / "t").c_str(), &buffer, &used);
        for (int at = 0; at < used; at += static_cast<int>(std::strlen(buffer + at)) + 1)
            got->emplace_back(buffer + at);
        std::free(buffer);
        return result;
    };
    std::vector<std::string> got;
    {
        ScopedFolderLister broken(BreakListingAt("c.txt"));
        EXPECT_EQ(collect(&got), 0);
    }
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"搜索文件出错\n" + dir / "t/sub/"});

    host.Clear();
    got.clear();
    ScopedFolderLister swap(SwapForLinkAfterListing(dir / "t/sub", dir / "outside"));
    ASSERT_EQ(collect(&got), 1);
    EXPECT_EQ(got, std::vector<std::string>{dir / "t/a.txt"});
    EXPECT_EQ(engine.m_leftOutEntries, std::vector<std::string>{dir / "t/sub"});
    EXPECT_TRUE(host.Messages().empty());
}

namespace {

// A host that runs `during` once, the first time the engine reports work done: while the
// content of a package is read from its source.
class EditingHost : public ScriptedHost {
public:
    std::function<void()> during;
    void WorkDone(uint64_t) override {
        if (!during) return;
        auto once = std::move(during);
        during = nullptr;
        once();
    }
};

}  // namespace

// The original is wiped only while its name still leads to the very file the package was made
// from, unchanged since it was read, and only when no other name leads to it: an editor's save
// during the encryption (a new file renamed over it, or a write in place) keeps both, and a
// second name elsewhere keeps the content (only the encrypted name goes: encrypted, not wiped).
// Each says so in one message; the batch's next file is encrypted and wiped all the same.
TEST_F(AdvancedTest, OnlyTheFileThePackageHoldsIsWipedAndNeverOneWithOtherNames) {
    const std::string doc = dir / "doc.txt";
    const std::string changed = "文件\"" + doc + "\"在加密期间被修改或替换，未被擦除；加密文件未必与它现在的内容一致。";
    struct Case {
        const char* what;
        std::function<void()> during;
        std::string message;
        std::string left;  // what doc.txt holds afterwards ("" gone)
        CAdvanceEmcrypt::Fate fate;
    };
    const std::vector<Case> cases = {
        {"saved as a new file renamed over it",
         [&] {
             WriteFile(dir / "doc.txt.new", "version 2");
             fs::rename(dir / "doc.txt.new", doc);
         },
         changed, "version 2", CAdvanceEmcrypt::Fate::kFailed},
        {"written in place", [&] { WriteFile(doc, "version 2, in place"); }, changed, "version 2, in place",
         CAdvanceEmcrypt::Fate::kFailed},
        {"linked from elsewhere", [&] {},
         "文件\"" + doc + "\"已加密，此名称已删除；当时还有其他名称指向其内容，内容未被擦除。", "",
         CAdvanceEmcrypt::Fate::kNotWiped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "elsewhere");
        fs::create_directories(dir / "elsewhere");
        WriteFile(doc, "version 1");
        WriteFile(dir / "next.txt", "next");
        if (c.left.empty()) {
            ASSERT_EQ(::link(doc.c_str(), (dir / "elsewhere/doc.txt").c_str()), 0);
        }
        EditingHost editing;
        bool ran = false;
        editing.during = [&] {
            ran = true;
            c.during();
        };
        {
            ScopedUiHost installed(editing);
            ASSERT_EQ(Encrypt({"doc.txt", "next.txt"}), 1);
        }
        EXPECT_TRUE(ran) << "the edit came while the source was read";
        ASSERT_EQ(engine.m_outcomes.size(), 2u);
        EXPECT_EQ(engine.m_outcomes[0].fate, c.fate);
        EXPECT_EQ(engine.m_outcomes[1].fate, CAdvanceEmcrypt::Fate::kEncrypted);
        EXPECT_FALSE(fs::exists(dir / "next.txt"));
        fs::remove(engine.m_outcomes[1].package);
        EXPECT_EQ(editing.MessageTexts(), std::vector<std::string>{c.message});
        if (c.left.empty()) {
            EXPECT_FALSE(fs::exists(doc));
            EXPECT_EQ(ReadFile(dir / "elsewhere/doc.txt"), "version 1");
        } else {
            EXPECT_EQ(ReadFile(doc), c.left);
        }
        const std::string package = PackageOf("doc.txt");
        ASSERT_EQ(Restore("alice", package), 1);
        EXPECT_EQ(ReadFile(dir / "out/alice/doc.txt"), "version 1") << "the package holds what was read";
        fs::remove_all(dir / "out");
        fs::remove(package);
    }
}
