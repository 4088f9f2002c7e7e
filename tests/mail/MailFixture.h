#pragma once
// Mail packages between registered users of a real test store: alice sends, bob and carol
// receive, dave is not a recipient. The packing and unpacking calls are free functions too, so
// the damaged-file suite reads mail packages the same way.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "mail/MailEncrypt.h"

// What unpacking gave back: the result, the rows written and the key block's answers.
struct Unpacked {
    int result = 0;
    std::vector<std::string> files;
    std::unique_ptr<DECRYPT_MAIL_KEY> key = std::make_unique<DECRYPT_MAIL_KEY>();
};

// The logged-on user packs `paths` for `recipients` ("a;b") as `signer`. The package's path, or
// "" when EncryptMail refused.
inline std::string PackMail(int flags, const std::string& recipients, const std::vector<std::string>& paths,
                            const std::string& signer, int type = kMailTypePublicKey) {
    std::string list = PathList(paths), to = recipients;
    auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
    std::memset(arg.get(), 0, sizeof *arg);
    arg->nMailType = type;
    arg->nMailFlag = flags;
    arg->nUserData = 77;
    arg->pszFiles = list.data();
    arg->pszRecipients = to.data();
    std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", signer.c_str());
    CMailEncrypt engine;
    int result = engine.EncryptMail(arg.get());
    EXPECT_EQ(result == 1, arg->szMailFile[0] != '\0');
    return result == 1 ? std::string(arg->szMailFile) : std::string();
}

// The logged-on user unpacks `bytes` from the file `path` (written first), or from memory when
// `path` is empty, with as many rows as the header announces and one guard row behind them that
// must stay untouched.
inline Unpacked UnpackMail(const std::string& bytes, const std::string& path, int silent = 0) {
    Unpacked out;
    std::memset(out.key.get(), 0, sizeof *out.key);
    out.key->bSilent = silent;
    CMailEncrypt engine;
    CMemFile memory;
    CFile file;
    if (path.empty()) {
        memory.Attach(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    } else {
        WriteFile(path, bytes);
        file.Open(path, CFile::modeRead);
    }
    CFile* pFile = path.empty() ? nullptr : &file;
    CMemFile* pMem = path.empty() ? &memory : nullptr;
    const int rows = std::max(engine.MailFileCount(pFile, pMem), 0);
    std::vector<char> table(static_cast<size_t>(rows + 1) * kMaxPath, '#');
    int count = 0;
    out.result =
        engine.DecryptMail(pFile, pMem, reinterpret_cast<char(*)[kMaxPath]>(table.data()), count, out.key.get());
    EXPECT_LE(count, rows);
    EXPECT_TRUE(std::all_of(table.end() - kMaxPath, table.end(), [](char c) { return c == '#'; }))
        << "a row past the announced count";
    for (int i = 0; i < count; ++i) out.files.emplace_back(&table[static_cast<size_t>(i) * kMaxPath]);
    return out;
}

class MailPackageTest : public LogonHostTest {
protected:
    MailPackageTest() { AddUsers({"alice", "bob"}); }

    std::string MailFolder() const { return logon.Home() + "/mail"; }
    // alice packs `paths` (relative to dir).
    std::string Pack(int flags, const std::string& recipients, const std::vector<std::string>& paths) {
        LogOn("alice");
        std::vector<std::string> full;
        for (const std::string& p : paths) full.push_back(dir / p);
        std::string signer;
        logon.GetSignerName("alice", signer);
        return PackMail(flags, recipients, full, signer);
    }
    Unpacked Unpack(const std::string& user, const std::string& bytes, bool fromMemory = false, int silent = 0) {
        LogOn(user);
        return UnpackMail(bytes, fromMemory ? std::string() : dir / "in.qlt", silent);
    }
    // Every regular file and link in the mail folder but packages.
    std::vector<std::string> Restored() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(MailFolder(), ec))
            if (e.path().extension() != ".qlt") out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};
