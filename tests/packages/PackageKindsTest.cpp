// Password packages, envelopes and shared envelopes are made by one walker and restored by one
// restore pass: what they all do is written here once and run for every kind. alice packs for
// bob (a password package: with "secret1"); carol is nobody the package was made for (for a
// password package: she knows another password).

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"
#include "formats/EncryptFlag.h"
#include "package/ContentStream.h"
#include "password/PasswordPackager.h"

namespace fs = std::filesystem;

namespace {

class PackageKinds : public LogonHostTest, public ::testing::WithParamInterface<int> {
protected:
    PackageKinds() { AddUsers({"alice", "bob", "carol"}); }

    bool IsPassword() const { return GetParam() == kKindPassword; }
    // Packs `paths` (relative to dir, below dir/src) into dir/name, replacing a file there.
    int Pack(const std::vector<std::string>& paths, const std::string& name = "p.pkg") {
        CKorvane e;
        std::vector<std::string> absolute;
        for (const std::string& p : paths) absolute.push_back(dir / p);
        if (IsPassword()) {
            PasswordPackRequest r;
            r.packagePath = dir / name, r.paths = absolute, r.baseFolder = dir / "src";
            r.password = "secret1", r.replace = true;
            return PackWithPassword(e, r);
        }
        LogOn("alice");
        EnvelopePackRequest r;
        r.packagePath = dir / name, r.paths = absolute, r.baseFolder = dir / "src";
        r.recipients = {"bob"}, r.kind = static_cast<uint8_t>(GetParam()), r.replace = true;
        return PackEnvelope(e, r);
    }
    // `reader` restores dir/name into dir/out with a fresh engine (a batch of one).
    int Restore(const std::string& reader = "bob", const std::string& name = "p.pkg", int silent = 0) {
        fs::create_directories(dir / "out");
        CKorvane e;
        e.m_presetOutFolder = dir / "out";
        e.m_batchSuccess = 1;
        int result = 0;
        if (IsPassword()) {
            host.AddAnswer("password", reader == "carol" ? "other22" : "secret1");
            result = e.SymmtryDecryptFiles((dir / name).c_str(), nullptr, 0, silent);
        } else {
            LogOn(reader);
            result = e.EnvelopDecryptFiles((dir / name).c_str(), nullptr, 0, silent);
        }
        batchSuccess = e.m_batchSuccess;
        return result;
    }

    int batchSuccess = 1;
};

// Every reader the package was made for gets the tree back: bytes, times, read-only bits, empty
// folders, names that differ only by letter case. The package written inside the tree it packs
// never packs itself, nor are "dirinfo" entries packed. The format carries no permission bits
// and the content was secret: new files and folders come back owner-only (deliberately, see
// docs/differences.md).
TEST_P(PackageKinds, TreeRoundTripsByteForByteWithTimesReadOnlyBitsAndCaseOfNames) {
    std::vector<TreeEntry> tree = {{"empty/"},
                                   {"zero"},
                                   {"sub/big.bin", 2 * kStreamBlockSize + 17, false, 1041757623},
                                   {"sub/deeper/a.txt", 5},
                                   {"ro.txt", 9, true},
                                   {"A/x.txt", 5},
                                   {"a/x.txt", 6},
                                   {"dirinfo/x", 3},
                                   {"sub/dirinfo", 4}};
    // A record list longer than the record reader's window: records straddle its edge.
    for (int i = 0; i < 450; ++i) tree.push_back({"many/" + std::string(150, 'n') + std::to_string(i), 1});
    MakeTree(dir / "src/tree", tree);
    ASSERT_EQ(Pack({"src/tree"}, "src/tree/self.pkg"), 1);
    std::vector<std::string> readers = {"bob"};
    if (!IsPassword()) readers.push_back("alice");
    for (const std::string& reader : readers) {
        SCOPED_TRACE(reader);
        fs::remove_all(dir / "out");
        host.Clear();
        ASSERT_EQ(Restore(reader, "src/tree/self.pkg"), 1) << ::testing::PrintToString(host.MessageTexts());
        EXPECT_TRUE(host.Messages().empty());
        ExpectSameTree(dir / "src/tree", dir / "out/tree", {"self.pkg", "dirinfo", "sub/dirinfo"});
        EXPECT_EQ(ModeOf(dir / "out/tree/sub/deeper/a.txt"), 0600u);
        EXPECT_EQ(ModeOf(dir / "out/tree/ro.txt"), 0400u);
        EXPECT_EQ(ModeOf(dir / "out/tree/sub"), 0700u);
    }
}

// Refused with its one message; in a batch without a word, the batch marked as failed.
TEST_P(PackageKinds, OthersAreRefusedWithOneMessageOrQuietlyInABatch) {
    MakeTree(dir / "src", {{"f.txt", 10}});
    ASSERT_EQ(Pack({"src/f.txt"}), 1);
    EXPECT_EQ(Restore("carol"), 0);
    EXPECT_EQ(host.MessageTexts(),
              std::vector<std::string>{IsPassword() ? "对不起，密码错!" : "对不起,您没有解密此文件的权限."});
    host.Clear();
    EXPECT_EQ(Restore("carol", "p.pkg", 1), 0);
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(batchSuccess, 0);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// Replace "none" keeps every existing file (one question) and still writes new ones; cancel
// stops the restore; a read-only file is replaced when asked, and a replaced file keeps its mode.
TEST_P(PackageKinds, ReplaceAnswersKeepStopOrReplace) {
    fs::create_directories(dir / "src");
    for (const std::string n : {"a", "b", "c"}) WriteFile(dir / "src/" + n, "new " + n);
    ASSERT_EQ(Pack({"src/a", "src/b", "src/c"}), 1);
    fs::create_directories(dir / "out");
    WriteFile(dir / "out/a", "old a");
    WriteFile(dir / "out/c", "old c");
    ::chmod((dir / "out/a").c_str(), 0444);
    ::chmod((dir / "out/c").c_str(), 0640);
    host.AddAnswer("replace", "none");
    ASSERT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/a"), "old a");
    EXPECT_EQ(ReadFile(dir / "out/b"), "new b");
    EXPECT_EQ(ReadFile(dir / "out/c"), "old c");
    int replaceDialogs = 0;
    for (const auto& d : host.Dialogs()) replaceDialogs += d.kind == "replace";
    EXPECT_EQ(replaceDialogs, 1);

    host.AddAnswer("replace", "cancel");
    EXPECT_EQ(Restore(), -1) << "stopped, not failed";
    EXPECT_EQ(ReadFile(dir / "out/a"), "old a");
    host.AddAnswer("replace", "yes");
    EXPECT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/a"), "new a");
    EXPECT_EQ(ReadFile(dir / "out/c"), "new c");
    EXPECT_EQ(ModeOf(dir / "out/c"), 0640u);
    EXPECT_TRUE(TempFilesBelow(dir / "out").empty());
}

// A package is wiped after its restore only when every file it names stands restored from it.
// Kept at the replace question ("none", "no"), gone past after it could not be created, or the
// package itself met under the name of one of its files: the restore keeps its result, and the
// package stays as it was with one message saying why. Bytes behind what the records name fail
// the restore (as they fail a check) after the files came back.
TEST_P(PackageKinds, APackageIsWipedOnlyWhenEveryFileStandsRestoredFromIt) {
    fs::create_directories(dir / "src");
    for (const std::string n : {"a", "b", "p.pkg"}) WriteFile(dir / "src/" + n, "new " + n);
    ASSERT_EQ(Pack({"src/a", "src/b", "src/p.pkg"}), 1);
    const std::string package = ReadFile(dir / "p.pkg");
    const std::string kept = "加密文件未被删除: ";
    struct Case {
        const char* name;
        std::vector<std::string> existing;  // in the output folder; "b/" a folder that holds a file
        std::string answers;
        std::string tail;  // appended to the package
        int result;
        std::string last;  // the last message
    };
    const Case cases[] = {
        {"whole", {}, "", "", 1, ""},
        {"replace none", {"a", "b", "p.pkg"}, "replace=none", "", 1, kept + "3 个文件保留了已有的同名文件."},
        {"replace no", {"a"}, "replace=no", "", 1, kept + "1 个文件保留了已有的同名文件."},
        {"not created", {"b/"}, "replace=all,yes-no=yes", "", 1, kept + "1 个文件或文件夹未能创建."},
        {"beside itself", {}, "yes-no=yes", "", 1, kept + "1 个文件或文件夹未能创建."},
        {"trailing bytes", {}, "", "x", 0, "文件结构错."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out/b");
        if (std::count(c.existing.begin(), c.existing.end(), "b/"))
            WriteFile(dir / "out/b/inside", "x");
        else
            fs::remove(dir / "out/b");
        for (const std::string& e : c.existing)
            if (e != "b/") WriteFile(dir / ("out/" + e), "old");
        WriteFile(dir / "p.pkg", package + c.tail);
        ScriptedHost one;  // the answers of this case only
        ScopedUiHost installed(one);
        ASSERT_TRUE(one.AddAnswers(c.answers));
        if (IsPassword()) one.AddAnswer("password", "secret1");
        LogOn("bob");
        CKorvane e;
        const bool beside = std::string(c.name) == "beside itself";
        e.m_presetOutFolder = beside ? dir.Path() : dir / "out";
        EXPECT_EQ(e.KeloDecryptFile(PathList({dir / "p.pkg"}).c_str(), nullptr, 0), c.result);
        const std::vector<std::string> messages = one.MessageTexts();
        EXPECT_EQ(messages.empty() ? "" : messages.back(), c.last) << ::testing::PrintToString(messages);
        if (beside) {
            EXPECT_EQ(messages.front(),
                      "创建文件\"" + dir / "p.pkg" + "\"失败.解密出的文件会覆盖正在解密的加密文件.\n\n是否继续?");
        }
        if (c.last.empty()) {
            EXPECT_FALSE(fs::exists(dir / "p.pkg"));
            continue;
        }
        EXPECT_EQ(ReadFile(dir / "p.pkg"), package + c.tail) << "the package stays as it was";
        if (c.tail.empty()) continue;
        for (const std::string n : {"a", "b", "p.pkg"}) EXPECT_EQ(ReadFile(dir / ("out/" + n)), "new " + n);
    }
}

// A folder link already at the destination is refused, named as what stands in the way, and
// nothing lands where it points; a file link is replaced by the restored file, and the file it pointed
// to keeps its content and mode.
TEST_P(PackageKinds, RestoreNeverWritesThroughALinkBelowTheOutputFolder) {
    fs::create_directories(dir / "src/t");
    WriteFile(dir / "src/t/f.txt", "packed");
    ASSERT_EQ(Pack({"src/t"}), 1);

    fs::create_directories(dir / "victim");
    fs::create_directories(dir / "out");
    fs::create_directory_symlink("../victim", dir / "out/t");
    EXPECT_EQ(Restore(), 0);
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{"package.FolderInTheWay"});
    EXPECT_NE(host.Messages()[0].text.find(dir / "out/t"), std::string::npos) << host.Messages()[0].text;
    EXPECT_TRUE(fs::is_empty(dir / "victim"));

    fs::remove(dir / "out/t");
    fs::create_directories(dir / "out/t");
    WriteFile(dir / "victim/f.txt", "someone else's");
    ::chmod((dir / "victim/f.txt").c_str(), 0444);
    fs::create_symlink("../../victim/f.txt", dir / "out/t/f.txt");
    host.Clear();
    host.AddAnswer("replace", "yes");
    ASSERT_EQ(Restore(), 1) << ::testing::PrintToString(host.MessageTexts());
    EXPECT_FALSE(fs::is_symlink(dir / "out/t/f.txt"));
    EXPECT_EQ(ReadFile(dir / "out/t/f.txt"), "packed");
    EXPECT_EQ(ReadFile(dir / "victim/f.txt"), "someone else's");
    EXPECT_EQ(ModeOf(dir / "victim/f.txt"), 0444u) << "the link's target keeps its mode";
    EXPECT_EQ(ModeOf(dir / "out/t/f.txt"), 0600u);
}

// However a restore of many files ends, the output folder holds what the restore wrote and
// what stood there before: no temporary file, and no folder of the package the restore did not
// reach, though the files of later folders are made ahead of it (d1 fails; d2 and d3 come after).
TEST_P(PackageKinds, HoweverARestoreEndsNothingIsLeftOfWhatItMadeAhead) {
    std::vector<TreeEntry> tree = {{"d1/x", 3 * kStreamBlockSize}};
    for (const std::string d : {"d0/f", "d2/f", "d3/f"})
        for (int i = 0; i < 8; ++i) tree.push_back({d + std::to_string(i), 1});
    MakeTree(dir / "src", tree);
    ASSERT_EQ(Pack({"src/d0", "src/d1", "src/d2", "src/d3"}), 1);
    const std::string package = ReadFile(dir / "p.pkg");
    std::vector<std::string> whole = {"d0/", "d1/", "d1/x", "d2/", "d3/"};
    std::vector<std::string> reached = {"d0/", "d1/"};  // what a restore failing at x has got to
    for (const std::string d : {"d0", "d2", "d3"})
        for (int i = 0; i < 8; ++i) {
            whole.push_back(d + "/f" + std::to_string(i));
            // A signed package's files wait for the verdict: none stays after a failure.
            if (d == "d0" && IsPassword()) reached.push_back(whole.back());
        }
    enum Planted { kNothing, kOldX, kFolderX, kDamagedX, kLinkD2 };
    struct Case {
        const char* name;
        Planted planted;
        const char* answers;
        int result;
        std::vector<std::string> ids;
        std::vector<std::string> more;  // beside what the restore got to
    };
    const Case cases[] = {
        {"whole", kNothing, "", 1, {}, {}},
        {"cancel at the question", kOldX, "replace=cancel", -1, {}, {"d1/x"}},
        {"not created, stop",
         kFolderX,
         "replace=all,yes-no=no",
         0,
         {"package.CreateFailedContinue"},
         {"d1/x/", "d1/x/inside"}},
        {"damaged content, stop", kDamagedX, "yes-no=no", 0, {"package.ContentCrcContinue"}, {}},
        {"link in a later folder", kLinkD2, "", 0, {"package.FolderInTheWay"}, {"d2 ->"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "out");
        fs::remove_all(dir / "victim");
        fs::create_directories(dir / "out/d1");
        fs::create_directories(dir / "victim");
        if (c.planted == kOldX) WriteFile(dir / "out/d1/x", "old");
        if (c.planted == kFolderX) MakeTree(dir / "out/d1/x", {{"inside", 1}});
        if (c.planted == kLinkD2) fs::create_directory_symlink(dir / "victim", dir / "out/d2");
        if (c.planted != kOldX && c.planted != kFolderX) fs::remove(dir / "out/d1");
        std::string bytes = package;
        if (c.planted == kDamagedX) bytes[bytes.size() / 2] ^= 1;  // inside x, by far the largest content
        WriteFile(dir / "p.pkg", bytes);
        ScriptedHost one;
        ScopedUiHost installed(one);
        ASSERT_TRUE(one.AddAnswers(c.answers));
        if (IsPassword()) one.AddAnswer("password", "secret1");
        LogOn("bob");
        CKorvane e;
        e.m_presetOutFolder = dir / "out";
        const std::string path = dir / "p.pkg";
        EXPECT_EQ(IsPassword() ? e.SymmtryDecryptFiles(path.c_str(), nullptr, 0, 0)
                               : e.EnvelopDecryptFiles(path.c_str(), nullptr, 0, 0),
                  c.result);
        EXPECT_EQ(one.MessageIds(), c.ids);
        std::vector<std::string> expected = c.result == 1 ? whole : reached;
        expected.insert(expected.end(), c.more.begin(), c.more.end());
        if (c.planted == kLinkD2 && IsPassword()) expected.push_back("d1/x");
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> listing;
        for (auto it = fs::recursive_directory_iterator(dir / "out"); it != fs::recursive_directory_iterator(); ++it) {
            const std::string name = it->path().lexically_relative(dir / "out").string();
            listing.push_back(it->is_symlink() ? name + " ->" : it->is_directory() ? name + "/" : name);
        }
        std::sort(listing.begin(), listing.end());
        EXPECT_EQ(listing, expected);
        EXPECT_TRUE(fs::is_empty(dir / "victim"));
    }
}

// A link named as a path is followed; links met inside a tree (to files and to folders) and
// special files are left out and named in one notice at the end; a path that is not a file or
// a folder is refused by name before any package exists, and the file at the package's path
// stays as it was. Leaving links inside a tree out is deliberate (docs/differences.md).
TEST_P(PackageKinds, LinksInsideATreeAreLeftOutAndNamedAndOddPathsRefused) {
    fs::create_directories(dir / "src/tree/real");
    fs::create_directories(dir / "outside");
    WriteFile(dir / "outside/secret", "not to be packed");
    WriteFile(dir / "src/tree/real/a", "a");
    fs::create_symlink(dir / "outside/secret", dir / "src/tree/filelink");
    fs::create_directory_symlink(dir / "outside", dir / "src/tree/dirlink");
    ASSERT_EQ(::mkfifo((dir / "src/tree/fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "outside/secret", dir / "src/named");

    ASSERT_EQ(Pack({"src/tree", "src/named"}), 1);
    ASSERT_EQ(host.Messages().size(), 1u);
    std::string notice = host.Messages()[0].text;
    for (const char* name : {"src/tree/filelink", "src/tree/dirlink", "src/tree/fifo"})
        EXPECT_NE(notice.find(dir / name), std::string::npos) << name << " in " << notice;
    EXPECT_EQ(notice.find("named"), std::string::npos);
    host.Clear();
    ASSERT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/tree/real/a"), "a");
    EXPECT_EQ(ReadFile(dir / "out/named"), "not to be packed") << "a link named as a path is followed";
    EXPECT_FALSE(fs::exists(dir / "out/tree/filelink"));
    EXPECT_FALSE(fs::exists(dir / "out/tree/dirlink"));
    EXPECT_FALSE(fs::exists(dir / "out/tree/fifo"));

    fs::create_symlink(dir / "nowhere", dir / "src/dangling");
    WriteFile(dir / "odd.pkg", "older package");
    for (const char* odd : {"src/tree/fifo", "src/dangling", "src/ghost"}) {
        host.Clear();
        EXPECT_EQ(Pack({"src/tree/real", odd}, "odd.pkg"), 0) << odd;
        ASSERT_EQ(host.Messages().size(), 1u) << odd;
        EXPECT_NE(host.Messages()[0].text.find(dir / odd), std::string::npos) << host.Messages()[0].text;
        EXPECT_EQ(ReadFile(dir / "odd.pkg"), "older package");
    }
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
}

// The walk enters each folder through the one that holds it: a folder swapped for a link between
// listing and descent is not followed but left out and named like any link inside a tree, and a
// listing that breaks part way fails the pack with the folder's name, leaving no package.
TEST_P(PackageKinds, AFolderSwappedForALinkIsLeftOutAndABrokenListingFailsThePack) {
    MakeTree(dir / "src/tree", {{"a.txt", 1}, {"sub/b.txt", 2}});
    MakeTree(dir / "outside", {{"secret", 3}});
    {
        ScopedFolderLister swap(SwapForLinkAfterListing(dir / "src/tree/sub", dir / "outside"));
        ASSERT_EQ(Pack({"src/tree"}), 1);
    }
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"以下链接或特殊文件没有加密:\n" + dir / "src/tree/sub"});
    host.Clear();
    ASSERT_EQ(Restore(), 1);
    EXPECT_EQ(ReadFile(dir / "out/tree/a.txt"), RandomBytes(1, 1));
    EXPECT_FALSE(fs::exists(dir / "out/tree/sub"));

    fs::remove(dir / "src/tree/sub");
    MakeTree(dir / "src/tree", {{"sub/b.txt", 2}, {"sub/c.txt", 3}});
    host.Clear();
    ScopedFolderLister broken(BreakListingAt("c.txt"));
    EXPECT_EQ(Pack({"src/tree"}, "q.pkg"), 0);
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>{"搜索文件出错\n" + dir / "src/tree/sub/"});
    EXPECT_FALSE(fs::exists(dir / "q.pkg"));
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
}

// '\' is the stored separator and has no escape: a folder or file name holding it is refused
// by name, and no package is made (otherwise "a\b/g" and "a/b/g" would be one path).
TEST_P(PackageKinds, BackslashInAFolderOrFileNameIsRefusedByName) {
    MakeTree(dir / "src", {{"top/a\\b/g.txt", 1}, {"top/a/b/g.txt", 2}, {"files/x\\y.txt", 3}});
    for (auto [tree, name] : {std::pair{"src/top", "a\\b"}, {"src/files", "x\\y.txt"}}) {
        host.Clear();
        EXPECT_EQ(Pack({tree}), 0) << tree;
        ASSERT_EQ(host.Messages().size(), 1u) << tree;
        EXPECT_NE(host.Messages()[0].text.find(name), std::string::npos) << host.Messages()[0].text;
        EXPECT_FALSE(fs::exists(dir / "p.pkg"));
    }
    EXPECT_TRUE(TempFilesBelow(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(, PackageKinds, ::testing::Values(int{kKindPassword}, int{kKindEnvelope}, int{kKindShared}),
                         [](const ::testing::TestParamInfo<int>& kind) {
                             return kind.param == kKindPassword   ? "Password"
                                    : kind.param == kKindEnvelope ? "Envelope"
                                                                  : "Shared";
                         });

}  // namespace
