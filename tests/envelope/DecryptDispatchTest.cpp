// Batches of secured files of every kind through the decryption dispatcher.

#include "EnvelopeFixture.h"
#include "formats/EncryptFlag.h"
#include "password/PasswordPackager.h"

namespace fs = std::filesystem;

class DecryptDispatch : public EnvelopeTest {
protected:
    void SetUp() override {
        fs::create_directories(dir / "src");
        WriteFile(dir / "src/env.txt", "for alice and bob");
        WriteFile(dir / "src/pw.txt", "behind a password");
        ASSERT_EQ(Pack({"src/env.txt"}, {"bob"}, "e.vrk"), 1);
        ASSERT_EQ(Pack({"src/env.txt"}, {}, "carol-only.vrk", "carol"), 1);
        CKorvane e;
        PasswordPackRequest request;
        request.packagePath = dir / "p.pkg";
        request.paths = {dir / "src/pw.txt"};
        request.baseFolder = dir / "src";
        request.password = "secret1";
        ASSERT_EQ(PackWithPassword(e, request), 1);
        fs::create_directories(dir / "out");
        engine.m_presetOutFolder = dir / "out";
        host.Clear();
    }
    void SetKept(const std::string& value) { ASSERT_TRUE(logon.SetOption("Option", "DkeptFile", value)); }

    CKorvane engine;
};

TEST_F(DecryptDispatch, MixedBatchRestoresBothAndWipesThemUnlessKept) {
    LogOn("bob");
    host.AddAnswer("password", "secret1");
    const std::string list = PathList({dir / "p.pkg", dir / "e.vrk"});
    SetKept("true");
    EXPECT_EQ(engine.DecryptFileA(list.c_str(), nullptr), 1);
    EXPECT_TRUE(fs::exists(dir / "p.pkg") && fs::exists(dir / "e.vrk")) << "any text but FALSE keeps the packages";
    EXPECT_EQ(ReadFile(dir / "out/pw.txt"), "behind a password");

    SetKept("FALSE");
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    host.AddAnswer("password", "secret1");
    EXPECT_EQ(engine.KeloDecryptFile(list.c_str(), host.Window(), 0), 1);
    EXPECT_EQ(ReadFile(dir / "out/pw.txt"), "behind a password");
    EXPECT_EQ(ReadFile(dir / "out/env.txt"), "for alice and bob");
    EXPECT_FALSE(fs::exists(dir / "p.pkg") || fs::exists(dir / "e.vrk")) << "restored packages are wiped";
    EXPECT_TRUE(host.Messages().empty());
}

// Only a complete restore costs a package its copy: deliberate (docs/differences.md).
TEST_F(DecryptDispatch, RefusedPackagesAreSummarisedOnceAndNeverWiped) {
    LogOn("bob");
    const std::string kind4 = dir / "sig.idi";
    {
        CFile f(kind4, CFile::modeCreate | CFile::modeReadWrite);
        EncryptFlag head;
        engine.InitEncryptFlag(&head, kKindSignUser);
        ASSERT_EQ(engine.WriteEncryptedFileHead(&f, &head), 1);
    }
    const std::string list = PathList({dir / "carol-only.vrk", dir / "e.vrk", kind4});
    EXPECT_EQ(engine.KeloDecryptFile(list.c_str(), host.Window(), 0), 0);
    EXPECT_EQ(host.MessageTexts(),
              (std::vector<std::string>{
                  kind4 + "\n\n不是一个有效的加密文件.",
                  "一些文件未被解密，可能是您没有解密这些文件的权利，或者您输入的密码不正确，请逐个解密这些文件。"}));
    EXPECT_TRUE(fs::exists(dir / "carol-only.vrk")) << "a failed package is never wiped";
    EXPECT_FALSE(fs::exists(dir / "e.vrk"));
    std::vector<int> percents;
    for (const auto& p : host.Progress()) percents.push_back(p.percent);
    EXPECT_EQ(percents, (std::vector<int>{0, 33, 33, 66, 66, 100}));

    // A user who is gone stops the batch at the first envelope that fails.
    logon.LogOff();
    host.Clear();
    EXPECT_EQ(engine.KeloDecryptFile(PathList({dir / "carol-only.vrk", kind4}).c_str(), nullptr, 0), -1);
    EXPECT_TRUE(host.Messages().empty()) << host.MessageTexts()[0];
}

// "DispDecryptResult" TRUE lists a batch's restored files at its end: the plain dispatcher
// whenever anything was restored, KeloDecryptFile from one restored file, or from two when
// direct (a lone file was offered to the open query first, and is listed only when nobody took
// it). FALSE, or nothing restored, lists nothing.
TEST_F(DecryptDispatch, DecryptedFilesAreListedAtTheEndOnlyWhenConfigured) {
    LogOn("bob");
    SetKept("TRUE");
    auto lists = [&](const std::vector<std::string>& paths, int kelo, int direct) {
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out");
        host.Clear();
        host.AddAnswer("password", "secret1");
        const std::string list = PathList(paths);
        kelo ? engine.KeloDecryptFile(list.c_str(), nullptr, direct) : engine.DecryptFileA(list.c_str(), nullptr);
        std::vector<std::vector<std::string>> shown;
        for (const auto& d : host.Dialogs())
            if (d.kind == "filelist") shown.push_back(d.lines);
        return shown;
    };
    const std::string both[] = {dir / "p.pkg", dir / "e.vrk"};
    EXPECT_TRUE(lists({both[0], both[1]}, 0, 0).empty()) << "not configured";

    ASSERT_TRUE(logon.SetOption("Option", "DispDecryptResult", "true"));
    EXPECT_EQ(lists({both[0], both[1]}, 0, 0),
              (std::vector<std::vector<std::string>>{{dir / "out/pw.txt", dir / "out/env.txt", "共解密文件 2 个"}}));
    EXPECT_EQ(lists({both[1]}, 1, 0).size(), 1u);
    EXPECT_EQ(lists({both[1]}, 1, 1).size(), 1u) << "the lone file's own list, none at the end";
    ASSERT_TRUE(logon.SetOption("Option", "OpenWith", "true"));
    EXPECT_TRUE(lists({both[1]}, 1, 1).empty()) << "the open query took the lone file";
    EXPECT_EQ(lists({both[0], both[1]}, 1, 1).size(), 1u);
    EXPECT_TRUE(lists({dir / "carol-only.vrk"}, 1, 0).empty()) << "nothing restored";
}
