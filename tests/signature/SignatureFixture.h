#pragma once
// A suite store in a temporary folder with the user "alice" logged on, a scripted host, and
// helpers to sign files and to rewrite a signature file through its own layout.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "logon/LogonStore.h"
#include "signature/SignatureRecord.h"

class SignatureTest : public HostTest {
protected:
    SignatureTest() {
        EXPECT_TRUE(store.Open(dir / "suite")) << store.LastError();
        EXPECT_GT(store.AddUser("alice", "Alice", "alice@example.org", kPassword), 0) << store.LastError();
        EXPECT_TRUE(store.LogOn("alice", kPassword));
    }

    // A path list of the files (NUL-terminated, ended by an empty entry).
    static std::string PathList(const std::vector<std::string>& paths) {
        std::string list;
        for (const std::string& p : paths) list += p + '\0';
        return list + '\0';
    }
    int Sign(const std::vector<std::string>& paths, int mail = 0) {
        return engine.SignFiles(PathList(paths).c_str(), "alice", kPassword, 0, mail);
    }
    // A file with content, signed; the signature file's path.
    std::string Signed(const std::string& name, const std::string& content = "signed content\n") {
        WriteFile(dir / name, content);
        EXPECT_EQ(Sign({dir / name}), 1);
        return dir / name + ".idi";
    }
    // Reads the head and record of a signature file, lets `change` alter them, writes them back.
    template <typename Change>
    void Rewrite(const std::string& path, Change change) {
        CKorvane e;
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeReadWrite));
        EncryptFlag head;
        auto record = std::make_unique<File_SignInfo>();
        ASSERT_EQ(e.ReadEncryptedFileHead(&file, &head, nullptr), 1);
        ASSERT_EQ(ReadSignatureRecord(e, &file, record.get()), 1);
        change(head, *record);
        file.SetLength(0);
        ASSERT_EQ(e.WriteEncryptedFileHead(&file, &head), 1);
        ASSERT_EQ(WriteSignatureRecord(e, &file, *record), 1);
    }
    static std::vector<std::string> FilesIn(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    static constexpr const char* kPassword = "alice-secret";
    LogonStore store{1000};
    ScopedLogonLibrary installed{&store};
    CKorvane engine;
};
