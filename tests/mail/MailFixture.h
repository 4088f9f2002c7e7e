#pragma once
// Mail packages between registered users of one real logon store: alice sends, bob and carol
// receive, dave is not a recipient. The store is made once per suite; each test starts with an
// empty mail folder.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "logon/LogonStore.h"
#include "mail/MailEncrypt.h"

class MailPackageTest : public HostTest {
protected:
    struct Unpacked {
        int result = 0;
        std::vector<std::string> files;
        std::unique_ptr<DECRYPT_MAIL_KEY> key = std::make_unique<DECRYPT_MAIL_KEY>();
    };

    // Users get their keys on first use: each test runs in a process of its own.
    static void SetUpTestSuite() {
        s_home = new TempDir;
        s_store = new LogonStore(1000);
        ASSERT_TRUE(s_store->Open(s_home->Path()));
    }
    static void TearDownTestSuite() {
        delete s_store;
        delete s_home;
        s_store = nullptr;
        s_home = nullptr;
    }
    void SetUp() override {
        std::filesystem::remove_all(MailFolder());
        s_store->LogOff();
        s_user.clear();
    }

    static std::string Password(const std::string& user) { return "pw-" + user; }
    static std::string MailFolder() { return *s_home / "mail"; }
    LogonStore& Store() { return *s_store; }
    static void Register(const std::vector<std::string>& users) {
        for (const std::string& user : users) {
            LogonKeyRecord key;
            LogonUserRecord record;
            if (!s_store->GetUserRecords(key, record, user)) {
                ASSERT_NE(s_store->AddUser(user, user, user + "@example.org", Password(user)), 0);
            }
        }
    }
    void LogOn(const std::string& user) {
        if (user == s_user) return;
        Register({user});
        ASSERT_TRUE(s_store->LogOn(user, Password(user)));
        s_user = user;
    }

    // alice packs `paths` (relative to dir) for `recipients` ("a;b"). The package's path, or ""
    // when EncryptMail refused.
    std::string Pack(int flags, const std::string& recipients, const std::vector<std::string>& paths,
                     int type = kMailTypePublicKey) {
        LogOn("alice");
        std::string list;
        for (const std::string& p : paths) list += (dir / p) + '\0';
        list += '\0';
        std::string signer;
        Store().GetSignerName("alice", signer);
        auto arg = std::make_unique<ENCRYPT_MAIL_ARG>();
        std::memset(arg.get(), 0, sizeof *arg);
        arg->nMailType = type;
        arg->nMailFlag = flags;
        arg->nUserData = 77;
        arg->pszFiles = list.data();
        std::string to = recipients;
        arg->pszRecipients = to.data();
        std::snprintf(arg->szSigner, sizeof arg->szSigner, "%s", signer.c_str());
        CMailEncrypt engine;
        int result = engine.EncryptMail(arg.get());
        EXPECT_EQ(result == 1, arg->szMailFile[0] != '\0');
        return result == 1 ? std::string(arg->szMailFile) : std::string();
    }

    // `user` unpacks `bytes`, from a file or from memory, with as many rows as the header names.
    Unpacked Unpack(const std::string& user, const std::string& bytes, bool fromMemory = false, int silent = 0) {
        LogOn(user);
        Unpacked out;
        std::memset(out.key.get(), 0, sizeof *out.key);
        out.key->bSilent = silent;
        CMailEncrypt engine;
        CMemFile memory;
        CFile file;
        if (fromMemory) {
            memory.Attach(std::vector<unsigned char>(bytes.begin(), bytes.end()));
        } else {
            WriteFile(dir / "in.qlt", bytes);
            file.Open(dir / "in.qlt", CFile::modeRead);
        }
        CFile* pFile = fromMemory ? nullptr : &file;
        CMemFile* pMem = fromMemory ? &memory : nullptr;
        const int rows = std::max(engine.MailFileCount(pFile, pMem), 0);
        // One guard row behind the announced ones: the engine must never touch it.
        std::vector<char> table(static_cast<size_t>(rows + 1) * kMaxPath, '#');
        int count = 0;
        out.result =
            engine.DecryptMail(pFile, pMem, reinterpret_cast<char(*)[kMaxPath]>(table.data()), count, out.key.get());
        EXPECT_LE(count, rows);
        EXPECT_TRUE(std::all_of(table.end() - kMaxPath, table.end(), [](char c) { return c == '#'; }));
        for (int i = 0; i < count; ++i) out.files.emplace_back(&table[static_cast<size_t>(i) * kMaxPath]);
        return out;
    }

    // Every regular file and link in the mail folder but packages.
    static std::vector<std::string> Restored() {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(MailFolder(), ec))
            if (e.path().extension() != ".qlt") out.push_back(e.path().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    static time_t ModifiedAt(const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mtime;
    }

    ScopedLogonLibrary installed{s_store};
    static inline TempDir* s_home = nullptr;
    static inline LogonStore* s_store = nullptr;
    static inline std::string s_user;
};
