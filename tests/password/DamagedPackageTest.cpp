// Damaged and hostile packages: refused or reported with one message, never a crash, never a
// file outside the output folder, never a change to the sources.

#include "PasswordPackageFixture.h"
#include "formats/PackageRecords.h"
#include "formats/ProtectedFields.h"

namespace fs = std::filesystem;

namespace {

// Every path below `root`, for comparing what a restore left behind.
std::vector<std::string> Listing(const std::string& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class DamagedPackageTest : public PasswordPackageTest {
protected:
    void SetUp() override {
        fs::create_directories(dir / "src/zz");
        WriteFile(dir / "src/zz/ab", "first file");
        WriteFile(dir / "src/zz/cd", RandomBytes(700, 9));
        ASSERT_EQ(Pack({"src/zz"}), 1);
        good = ReadFile(dir / "p.pkg");
        host.Clear();
        host.AddAnswer("yes-no", "no");
    }

    // Restores `bytes` as a package into dir/out/inside with a fresh engine. Checks the rules
    // every damaged package must keep, and returns the result.
    int RestoreDamaged(const std::string& bytes, const std::string& what) {
        WriteFile(dir / "bad.pkg", bytes);
        fs::remove_all(dir / "out");
        fs::create_directories(dir / "out/inside");
        auto before = Listing(dir.Path());
        host.Clear();
        CKorvane e;
        e.m_presetOutFolder = dir / "out/inside";
        e.m_batchPassword = "secret1";
        e.m_passwordKnown = 1;
        int result = e.SymmtryDecryptFiles((dir / "bad.pkg").c_str(), nullptr, 0, 0);
        if (result == 0) {
            EXPECT_FALSE(host.Messages().empty()) << what << ": a refusal without a message";
        } else {
            EXPECT_EQ(ReadFile(dir / "out/inside/zz/ab"), "first file") << what;
        }
        for (const std::string& p : Listing(dir.Path())) {
            bool known = std::find(before.begin(), before.end(), p) != before.end();
            EXPECT_TRUE(known || p.rfind(dir / "out/inside", 0) == 0) << what << " wrote " << p;
        }
        EXPECT_EQ(ReadFile(dir / "src/zz/ab"), "first file");
        return result;
    }

    // Rewrites the first directory record's name (same length) in a copy of the package.
    std::string WithDirectoryName(const std::string& name) { return WithRecordName(kRecordDirectory, name); }
    std::string WithRecordName(int32_t wantedType, const std::string& name) {
        WriteFile(dir / "edit.pkg", good);
        CFile f(dir / "edit.pkg", CFile::modeReadWrite);
        CKorvane e;
        f.Seek(300, CFile::begin);
        ProtectedReader block(e, &f);
        int32_t n = 0;
        std::string skip;
        block.I32(n), block.String(n, 3000, skip), block.I32(n), block.String(n, 3000, skip);
        f.Seek(2, CFile::current);
        for (;;) {
            uint64_t at = f.GetPosition();
            ProtectedReader r(e, &f);
            int32_t type = 0, second = 0, length = 0;
            std::string old;
            r.I32(type), r.I32(second), r.I32(length), r.String(length, 300, old);
            if (type == wantedType) {
                EXPECT_EQ(old.size(), name.size());
                f.Seek(static_cast<int64_t>(at + 12), CFile::begin);
                std::string enciphered = name;
                e.SerialEncrypt(enciphered.data(), static_cast<int>(enciphered.size()), enciphered.data());
                f.Write(enciphered.data(), static_cast<unsigned>(enciphered.size()));
                // Recompute the record CRC over the stored fields (a directory record ends here).
                f.Seek(static_cast<int64_t>(at), CFile::begin);
                std::string stored(12 + name.size() + (type == kRecordFile ? 4 + 28 + 4 + 1 + 2 : 0), '\0');
                f.Read(stored.data(), static_cast<unsigned>(stored.size()));
                e.CRC_Init();
                e.CRC_Update(reinterpret_cast<const unsigned char*>(stored.data()), static_cast<int>(stored.size()));
                uint16_t crc = e.CRC_Final();
                f.Write(&crc, 2);
                break;
            }
            f.Seek(static_cast<int64_t>(at + 12 + old.size() + (type == kRecordFile ? 4 + 28 + 4 + 1 + 2 : 0) + 2),
                   CFile::begin);
        }
        f.Close();
        return ReadFile(dir / "edit.pkg");
    }

    std::string good;
};

TEST_F(DamagedPackageTest, TruncatedAtEveryOffsetIsRefused) {
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_EQ(RestoreDamaged(good.substr(0, length), "truncated at " + std::to_string(length)), 0);
}

TEST_F(DamagedPackageTest, AnySingleChangedByteIsRefusedOrRestoredIntact) {
    for (size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x5A);
        RestoreDamaged(bad, "byte " + std::to_string(i));
    }
}

TEST_F(DamagedPackageTest, NamesThatWouldLeaveTheOutputFolderAreRefusedBeforeWriting) {
    for (const std::string& name : {std::string("..\\"), std::string("/z\\")}) {
        EXPECT_EQ(RestoreDamaged(WithDirectoryName(name), name), 0);
        ASSERT_EQ(host.Messages().size(), 1u) << name;
        EXPECT_EQ(host.Messages()[0].text, "文件结构错.");
        EXPECT_TRUE(fs::is_empty(dir / "out/inside")) << name;
    }
    for (const std::string& name : {std::string("a\\"), std::string("a/"), std::string("..")}) {
        EXPECT_EQ(RestoreDamaged(WithRecordName(kRecordFile, name), name), 0);
        ASSERT_EQ(host.Messages().size(), 1u) << name;
        EXPECT_EQ(host.Messages()[0].text, "文件结构错.");
    }
}

TEST_F(DamagedPackageTest, KeyCheckLengthBeyondTheReadersRoomIsAStructureError) {
    for (int32_t length : {2001, -1}) {
        std::string bad = good;
        CKorvane e;
        e.SerialEncrypt(reinterpret_cast<char*>(&length), 4, reinterpret_cast<char*>(&length));
        bad.replace(300, 4, reinterpret_cast<const char*>(&length), 4);
        EXPECT_EQ(RestoreDamaged(bad, "check length"), 0);
        ASSERT_EQ(host.Messages().size(), 1u);
        EXPECT_EQ(host.Messages()[0].text, "文件结构错.");
    }
}

TEST_F(DamagedPackageTest, ChangedContentAsksAndKeepsNothingWhenDeclined) {
    std::string bad = good;
    bad[bad.size() - 5] = static_cast<char>(bad[bad.size() - 5] ^ 1);
    EXPECT_EQ(RestoreDamaged(bad, "content"), 0);
    EXPECT_EQ(host.Messages().back().text, "文件内容CRC校验错, 是否继续? ");
    EXPECT_FALSE(fs::exists(dir / "out/inside/zz/cd"));
}
