// Every writer killed with SIGKILL at many points of its work: the files it reads are intact,
// no half-written file stands under a final name, what it left behind has the temporary shape
// (".NAME.varnex-XXXXXX"), and the next run succeeds beside it.

#include <filesystem>
#include <map>

#include "CliTest.h"
#include "KillPoints.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kPoints = 12;

class CrashSafety : public CliTest {
protected:
    CrashSafety() {
        fs::create_directories(dir / "data/docs/sub");
        WriteFile(dir / "data/big.bin", RandomBytes(2 << 20, 1));
        WriteFile(dir / "data/docs/a.txt", "alpha");
        for (int i = 0; i < 8; ++i) WriteFile(dir / ("data/docs/sub/f" + std::to_string(i)), RandomBytes(9000, 10 + i));
        originals = Snapshot(dir / "data");
        WriteFile(dir / "pw", "secret12\n");
    }

    // The content of every file below `folder` by its path relative to it, temporaries aside.
    static std::map<std::string, std::string> Snapshot(const std::string& folder) {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file() && !IsTempName(e.path().filename().string()))
                out[fs::relative(e.path(), folder).string()] = ReadFile(e.path().string());
        return out;
    }

    // The rules every kill point keeps: the sources are as they were, and whatever was left
    // below `folder` under a temporary name has the temporary shape.
    void ExpectSourcesIntactAndTemporariesNamed(const std::string& folder) {
        for (const auto& [path, content] : originals)
            EXPECT_TRUE(ReadFile(dir / ("data/" + path)) == content) << "the source " << path << " changed";
        for (const std::string& t : TempFilesBelow(folder))
            EXPECT_TRUE(IsTempName(fs::path(t).filename().string())) << "unclear leftover " << t;
    }

    // One writer, varnex `args` run as `user`, killed at every point; `finals` are the files it
    // writes, by their final names (a folder: every file in it), removed before each run; each
    // that stands afterwards must pass `check` (varnex arguments, the file appended, run as
    // `checker`).
    void KillWriter(const std::string& what, const std::string& user, const std::vector<std::string>& args,
                    const std::vector<std::string>& finals, const std::string& checker, const std::string& check) {
        if (!user.empty()) AddUsers({"alice", "bob"});
        auto as = [&](const std::string& id) { return id.empty() ? "" : "--user " + id + " "; };
        std::vector<std::string> all = args;
        if (!user.empty()) all.insert(all.begin(), {"--user", user});
        KillAtPoints(
            {what, kPoints},
            [&] {
                for (const std::string& f : finals) fs::remove_all(f);
            },
            [&] { return StartVarnex(home, all, {"VARNEX_PASSWORD=pw-" + user}); },
            [&](const KillPoint&) {
                ExpectSourcesIntactAndTemporariesNamed(dir.Path());
                for (const std::string& f : finals) {
                    std::vector<std::string> standing;
                    if (fs::is_directory(f))
                        for (const auto& [name, content] : Snapshot(f)) standing.push_back(f + "/" + name);
                    else if (fs::exists(f))
                        standing.push_back(f);
                    for (const std::string& file : standing) {
                        fs::remove_all(dir / "out");
                        auto checked = Varnex(as(checker) + check + " " + file, "VARNEX_PASSWORD=pw-" + checker);
                        EXPECT_EQ(checked.exit, 0)
                            << file << " stands under its final name but is not whole: " << checked.err;
                    }
                }
            });
    }

    std::map<std::string, std::string> originals;
};

}  // namespace

// A package killed while written is absent or whole; the next pack beside the leftovers works.
TEST_F(CrashSafety, KilledPackLeavesNoPackageOrAWholeOne) {
    const std::string package = dir / "d.pkg";
    KillWriter("pack", "", {"--new-password-file", dir / "pw", "pack", "-o", package, dir / "data"}, {package}, "",
               "--package-password-file " + dir / "pw" + " decrypt --test");
    // The leftovers of the killed runs stay where they are (nothing can tell them from the
    // files of a pack still running); they stand in no one's way.
    fs::remove(package);
    auto again = Varnex("--new-password-file " + dir / "pw" + " pack -o " + package + " " + dir / "data");
    EXPECT_EQ(again.exit, 0) << again.err;
}

// A restore over older files killed anywhere: every file is its old or its new content, never
// a mixture, and the package is wiped only once everything is in place.
TEST_F(CrashSafety, KilledRestoreOverExistingFilesLeavesOldOrNewFilesAndThePackage) {
    ASSERT_EQ(Varnex("--new-password-file " + dir / "pw" + " pack -o " + dir / "d.pkg " + dir / "data").exit, 0);
    const std::string package = dir / "r.pkg", out = dir / "out";
    const std::string packed = ReadFile(dir / "d.pkg");
    std::map<std::string, std::string> old;
    for (const auto& [path, content] : originals) old["data/" + path] = "old " + path;
    KillAtPoints(
        {"restore over existing files", kPoints},
        [&] {
            fs::remove_all(out);
            for (const auto& [path, content] : old) {
                fs::create_directories(fs::path(out + "/" + path).parent_path());
                WriteFile(out + "/" + path, content);
            }
            WriteFile(package, packed);
        },
        [&] {
            return StartVarnex(home, {"--package-password-file", dir / "pw", "--answers", "replace=all", "decrypt",
                                      "--to", out, package});
        },
        [&](const KillPoint&) {
            ExpectSourcesIntactAndTemporariesNamed(out);
            const bool packageWhole = fs::exists(package) && ReadFile(package) == packed;
            auto restored = Snapshot(out);
            EXPECT_EQ(restored.size(), old.size()) << "no file went missing";
            for (const auto& [path, content] : restored) {
                const std::string& fresh = originals.at(path.substr(5));
                EXPECT_TRUE(content == fresh || (packageWhole && content == old.at(path))) << path;
            }
        });
}

// Envelope, signing and mail packing killed anywhere: what stands under a final name opens,
// verifies or unpacks.
TEST_F(CrashSafety, KilledEnvelopeLeavesNoPackageOrOneTheRecipientOpens) {
    const std::string package = dir / "e.vrk";
    KillWriter("envelope", "alice", {"envelope", "-o", package, "--to", "bob", dir / "data"}, {package}, "bob",
               "decrypt --keep --to " + dir / "out");
}

TEST_F(CrashSafety, KilledSigningLeavesOnlySignatureFilesThatVerify) {
    const std::vector<std::string> files = {dir / "data/big.bin", dir / "data/docs/a.txt", dir / "data/docs/sub/f0"};
    std::vector<std::string> args = {"sign"}, signatures;
    for (const std::string& f : files) args.push_back(f), signatures.push_back(f + ".idi");
    KillWriter("sign", "alice", args, signatures, "", "verify");
}

TEST_F(CrashSafety, KilledMailPackLeavesOnlyPackagesTheRecipientUnpacks) {
    KillWriter("mail-pack", "alice",
               {"mail-pack", "--encrypt", "--sign", "--to", "bob", dir / "data/big.bin", dir / "data/docs/a.txt"},
               {home + "/mail"}, "bob", "mail-unpack");
}

// Store changes killed anywhere (a user added, a certificate imported, a share granted, in one
// process): the store opens whole, each change is all there or not at all, and the next run
// makes the missing ones.
TEST_F(CrashSafety, KilledStoreChangesAreWholeOrAbsentAndCanBeMadeAgain) {
    AddUsers({"alice", "bob"});
    const std::string pristine = dir / "pristine", certFile = dir / "dora.pem";
    fs::copy(home, pristine, fs::copy_options::recursive);
    WriteFile(certFile,
              logon::CertToPem(logon::MakeSelfSignedCert(TestRsaKey("dora").get(), "dora", "dora@example.org").get()));
    TestRsaKey("erin");  // made before the children fork, so a kill lands in the store's own work
    auto change = [&](TestLogon& store, bool user, bool cert, bool share) {
        std::string installed;
        return (!user || store.AddUser("erin", "erin", "erin@example.org", "pw-erin") != 0) &&
               (!cert || store.ImportCert(certFile, "", installed)) &&
               (!share || store.GrantShare(dir / "data", {DecryptMan{kDecryptManUser, 1}}));
    };
    KillAtPoints(
        {"store changes", kPoints},
        [&] {
            fs::remove_all(home);
            fs::copy(pristine, home, fs::copy_options::recursive);
        },
        [&] {
            return StartChild([&] {
                TestLogon store(home);
                return store.IsOpen() && change(store, true, true, true) ? 0 : 1;
            });
        },
        [&](const KillPoint&) {
            TestLogon store(home);
            ASSERT_TRUE(store.IsOpen());
            EXPECT_TRUE(store.CheckIntegrity()) << store.LastError();
            std::vector<LogonUserInfo> users;
            std::vector<LogonCertInfo> certs;
            std::vector<Insure_Decrypt_Men> shares;
            ASSERT_TRUE(store.ListUsers(users) && store.ListCerts(certs) && store.ListShares(shares));
            const bool hasUser = users.size() == 3;
            const bool hasCert =
                std::any_of(certs.begin(), certs.end(), [](auto& c) { return c.record.name == "dora"; });
            if (hasUser) {
                EXPECT_TRUE(store.LogOn("erin", "pw-erin")) << "an added user can log on";
            }
            EXPECT_TRUE(change(store, !hasUser, !hasCert, shares.empty())) << store.LastError();
        });
}
