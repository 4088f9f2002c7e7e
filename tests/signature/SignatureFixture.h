#pragma once
// A test store with the user "alice" logged on, a scripted host, and helpers to sign files and
// to rewrite a signature file through its own layout.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "signature/SignatureRecord.h"

class SignatureTest : public LogonHostTest {
protected:
    SignatureTest() {
        AddUsers({"alice"});
        LogOn("alice");
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

    static constexpr const char* kPassword = "pw-alice";
    CKorvane engine;
};
