// The atomic writer: temporary files named after what they become, a final move that never
// replaces a file that appeared meanwhile unless asked, and temporary files removed when a
// signal ends the process.

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "KillPoints.h"
#include "TestSupport.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/SignalCleanup.h"

namespace fs = std::filesystem;

namespace {

bool Write(CAtomicFile& file, const std::string& text) {
    file.File()->Write(text.data(), static_cast<unsigned>(text.size()));
    return true;
}

size_t EntriesIn(const std::string& folder) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
    return n;
}

}  // namespace

// Two writers of one name started together: the second never replaces the first's file
// without being allowed to, and fails with "File exists"; allowed, it replaces atomically.
TEST(AtomicFile, NeverReplacesAFileThatAppearedMeanwhileUnlessAllowed) {
    TempDir dir;
    std::string target = dir / "same.pkg";
    CAtomicFile first, second;
    CFileException error;
    ASSERT_TRUE(first.Create(target, &error));
    ASSERT_TRUE(second.Create(target, &error));
    EXPECT_EQ(first.TempName().rfind(".same.pkg.varnex-", 0), 0u) << first.TempName();
    Write(first, "first");
    Write(second, "second");
    ASSERT_TRUE(first.Commit(&error));
    EXPECT_FALSE(second.Commit(&error));
    EXPECT_EQ(error.ErrorText(), "File exists");
    EXPECT_EQ(ReadFile(target), "first");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "the loser's temporary file is gone";
    CAtomicFile intoFolder;
    ASSERT_TRUE(intoFolder.Create(dir / "folder", &error));
    fs::create_directory(dir / "folder");
    EXPECT_FALSE(intoFolder.Commit(&error));
    EXPECT_EQ(error.ErrorText(), "Is a directory");
    fs::remove(dir / "folder");

    ::chmod(target.c_str(), 0640);
    CAtomicFile third;
    third.SetReplace(true);
    ASSERT_TRUE(third.Create(target, &error));
    Write(third, "third");
    ASSERT_TRUE(third.Commit(&error));
    EXPECT_EQ(ReadFile(target), "third");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640)) << "a replaced file keeps its mode";

    // A very long name still gives a temporary name that fits one file name.
    EXPECT_LE(TempNameFor(std::string(300, 'n')).size() + 6, 255u);
}

// Two encrypt runs over one folder: the one that comes to a file the other has already packaged
// and removed passes over it, whether the file went before or while it waited for the lock.
TEST(ExclusiveFileLock, AFileThatIsGoneIsPassedOver) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    ExclusiveFileLock held;
    EXPECT_TRUE(held.Take((dir / "f").c_str()));
    EXPECT_GE(held.Fd(), 0);
    std::filesystem::remove(dir / "f");
    ExclusiveFileLock late;
    EXPECT_FALSE(late.Take((dir / "f").c_str()));
}

// SIGTERM, SIGINT or SIGHUP while temporary files are open: they are removed (those registered
// after the handler went in with the first as well, and as many as a restore holds for its
// verdict, some discarded in between) and the process ends by that signal.
TEST(AtomicFile, TemporaryFilesAreRemovedWhenASignalEndsTheProcess) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir dir;
        int status = WaitChild(StartChild([&] {
            ::signal(signal, SIG_DFL);
            std::vector<std::unique_ptr<CAtomicFile>> held(700);
            CFileException error;
            for (size_t i = 0; i < held.size(); ++i) {
                held[i] = std::make_unique<CAtomicFile>();
                if (!held[i]->Create(dir / ("f" + std::to_string(i)), &error)) return 10;
                if (i % 100 == 50) held[i / 2].reset();
            }
            ::raise(signal);
            return 11;
        }));
        EXPECT_TRUE(EndedBy(status, signal)) << status;
        EXPECT_EQ(EntriesIn(dir.Path()), 0u) << "signal " << signal;
    }
}
