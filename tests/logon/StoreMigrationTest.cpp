// A store written by an earlier version of the program is brought up to date when it opens,
// whole or not at all. The first version's store is tests/logon/store-v1.sql (two users, four
// certificates in every confirmation state, a group, a share, a setting; the dump of a store
// that program made); the second version's is that store after the second version's own
// statements: its step up, a token user and a folder-device user registered as it did.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KillPoints.h"
#include "TestLogon.h"
#include "logon/LogonDatabase.h"

namespace {

constexpr const char* kPasswords[][2] = {{"alice", "pw-alice"}, {"bob", "pw-bob"}};

// The columns of every table, by table name.
using Columns = std::map<std::string, std::vector<std::string>>;
// Every row of each table in `columns`, its values of those columns quoted as SQL writes them.
using Rows = std::map<std::string, std::vector<std::string>>;

Columns ReadColumns(const std::string& database) {
    logon::Database db;
    EXPECT_TRUE(db.Open(database)) << db.Error();
    Columns out;
    logon::Statement q(db,
                       "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                       "WHERE m.type = 'table' ORDER BY m.name, p.cid");
    while (q.Next()) out[q.Text(0)].push_back(q.Text(1));
    return out;
}

Rows ReadRows(const std::string& database, const Columns& columns) {
    logon::Database db;
    EXPECT_TRUE(db.Open(database)) << db.Error();
    Rows out;
    for (const auto& [table, names] : columns) {
        std::string select;
        for (const std::string& name : names) select += (select.empty() ? "quote(" : " || ',' || quote(") + name + ")";
        logon::Statement rows(db, ("SELECT " + select + " FROM " + table + " ORDER BY rowid").c_str());
        while (rows.Next()) out[table].push_back(rows.Text(0));
        EXPECT_TRUE(rows.Ok()) << table << ": " << db.Error();
    }
    return out;
}

// The shape of every table: column names, types, constraints, in order.
std::vector<std::string> Shape(const std::string& database) {
    logon::Database db;
    EXPECT_TRUE(db.Open(database)) << db.Error();
    std::vector<std::string> out;
    logon::Statement q(db,
                       "SELECT m.name || '.' || p.name || ' ' || p.type || ' ' || p.\"notnull\" || ' ' || "
                       "ifnull(p.dflt_value, '-') || ' ' || p.pk FROM sqlite_master m, pragma_table_info(m.name) p "
                       "WHERE m.type = 'table' ORDER BY m.name, p.cid");
    while (q.Next()) out.push_back(q.Text(0));
    return out;
}

int Version(const std::string& database) {
    logon::Database db;
    return db.Open(database) ? db.SchemaVersion() : -1;
}

// Users as the second version of the program registered them: its INSERT, its device texts.
constexpr const char* kSecondVersionUsers = R"sql(
ALTER TABLE certs ADD COLUMN chain BLOB;
INSERT INTO users (user_id, name, email, type, verifier, private_key, device) VALUES
 ('carol', 'Carol', 'carol@example.org', 1, 'pbkdf2-sha256$1000$00$00', NULL, 'pkcs11:token=Carol%27s%20Card;id=%01%02'),
 ('dave', 'Dave', 'dave@example.org', 1, 'pbkdf2-sha256$1000$00$00', NULL, '/media/dave/keys');
PRAGMA user_version=2;
)sql";

// What the third and fourth versions added, as their programs left it: a certificate kept from
// the directory with its source, and the token label of the token user.
constexpr const char* kFourthVersion = R"sql(
ALTER TABLE certs ADD COLUMN source TEXT;
UPDATE certs SET source = 'ldap://dir.example.org uid=Dora,ou=people' WHERE name = 'Dora';
ALTER TABLE users ADD COLUMN token_label TEXT NOT NULL DEFAULT '';
UPDATE users SET token_label = 'Carol''s Card' WHERE user_id = 'carol';
PRAGMA user_version=4;
)sql";

// The token label each user's row holds once the store is up to date.
std::map<std::string, std::string> TokenLabels(const std::string& database) {
    logon::Database db;
    EXPECT_TRUE(db.Open(database)) << db.Error();
    std::map<std::string, std::string> out;
    logon::Statement q(db, "SELECT user_id, token_label FROM users");
    while (q.Next()) out[q.Text(0)] = q.Text(1);
    return out;
}

// Parameter: the version of the program that wrote the store.
class StoreMigrationTest : public ::testing::TestWithParam<int> {
protected:
    // A suite folder holding the store of the version under test, as that program left it.
    void MakeOldStore() {
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open((home + "/logon.db").c_str(), &raw), SQLITE_OK);
        std::unique_ptr<sqlite3, logon::SqliteClose> db(raw);
        const std::string dump = ReadFile(VARNEX_TEST_SOURCE_DIR "/logon/store-v1.sql");
        ASSERT_EQ(sqlite3_exec(raw, dump.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        if (GetParam() >= 2) {
            ASSERT_EQ(sqlite3_exec(raw, kSecondVersionUsers, nullptr, nullptr, nullptr), SQLITE_OK)
                << sqlite3_errmsg(raw);
        }
        if (GetParam() >= 4) {
            ASSERT_EQ(sqlite3_exec(raw, kFourthVersion, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        }
        // The store is its owner's alone, as that program made it.
        namespace fs = std::filesystem;
        fs::permissions(home, fs::perms::owner_all);
        fs::permissions(home + "/logon.db", fs::perms::owner_read | fs::perms::owner_write);
    }

    TempDir dir;
    std::string home = dir / "suite";
    std::string database = home + "/logon.db";
};

TEST_P(StoreMigrationTest, OldStoreOpensMigratedWithEveryRecordKept) {
    MakeOldStore();
    ASSERT_EQ(Version(database), GetParam());
    const Columns firstColumns = ReadColumns(database);
    const Rows before = ReadRows(database, firstColumns);
    ASSERT_EQ(before.at("users").size(), GetParam() == 1 ? 2u : 4u);
    ASSERT_EQ(before.at("certs").size(), 4u);

    TestLogon store(home);
    ASSERT_TRUE(store.IsOpen()) << store.LastError();
    EXPECT_EQ(Version(database), logon::kStoreSchemaVersion);
    EXPECT_TRUE(store.CheckIntegrity()) << store.LastError();
    TestLogon fresh;
    EXPECT_EQ(Shape(database), Shape(fresh.DatabasePath())) << "a migrated store is shaped as a new one";
    EXPECT_EQ(ReadRows(database, firstColumns), before);
    std::map<std::string, std::string> labels = {{"alice", ""}, {"bob", ""}};
    if (GetParam() >= 2) labels.insert({{"carol", "Carol's Card"}, {"dave", ""}});
    EXPECT_EQ(TokenLabels(database), labels);

    // What the rows mean still holds: confirmations, groups, shares, settings, and the keys
    // open with their passwords and take what was wrapped for them.
    std::map<std::string, int> states;
    std::vector<LogonCertInfo> certs;
    ASSERT_TRUE(store.ListCerts(certs));
    for (const LogonCertInfo& cert : certs) states[cert.record.name] = cert.state;
    EXPECT_EQ(
        states,
        (std::map<std::string, int>{
            {"alice", kCertConfirmed}, {"bob", kCertConfirmed}, {"Dora", kCertConfirmed}, {"Erin", kCertModified}}));
    Lumo_Group team;
    ASSERT_EQ(store.ReadGroup(1, team), 1);
    EXPECT_EQ(team.members, (std::vector<int32_t>{1, 2}));
    Insure_Decrypt_Men share;
    ASSERT_EQ(store.ReadDecryptMen("alice", "/srv/team", share), 1);
    EXPECT_EQ(share.entries.size(), 2u);
    EXPECT_EQ(store.GetOption("Option", "SIgnID", "42"), "8");
    unsigned char session[24];
    for (int i = 0; i < 24; ++i) session[i] = static_cast<unsigned char>(7 * i + 1);
    for (int32_t number : {1, 2}) {
        const auto& [id, password] = kPasswords[number - 1];
        unsigned char wrapped[kLogonWrapOutRoom], opened[kLogonWrapOutRoom];
        int n = store.WrapSessionKey(24, session, wrapped, number);
        ASSERT_GT(n, 0) << id;
        EXPECT_EQ(store.UnwrapSessionKey(n, wrapped, opened, id, id, 2, password, static_cast<int>(strlen(password))),
                  24)
            << id;
        EXPECT_EQ(std::memcmp(opened, session, 24), 0) << id;
    }
    store.Close();
    EXPECT_EQ(ReadRows(database, firstColumns), before) << "opening a store of this version again changes nothing";

    // The migrated store takes a directory group beside the share's old decryptors.
    TestLogon again(home);
    ASSERT_TRUE(again.GrantShare("/srv/team", {{kDecryptManDirectoryGroup, 0, "staff"}})) << again.LastError();
    ASSERT_EQ(again.ReadDecryptMen("alice", "/srv/team", share), 1);
    ASSERT_EQ(share.entries.size(), 3u);
    EXPECT_EQ(share.entries[2].type, kDecryptManDirectoryGroup);
    EXPECT_EQ(share.entries[2].name, "staff");
}

TEST_P(StoreMigrationTest, StoreOfANewerVersionIsRefusedUnchanged) {
    MakeOldStore();
    {
        logon::Database db;
        ASSERT_TRUE(db.Open(database));
        ASSERT_TRUE(db.Exec(("PRAGMA user_version=" + std::to_string(logon::kStoreSchemaVersion + 1)).c_str()));
    }
    LogonStore store;
    EXPECT_FALSE(store.Open(home));
    EXPECT_NE(store.LastError().find("made by a newer version of this program"), std::string::npos)
        << store.LastError();
    EXPECT_EQ(Version(database), logon::kStoreSchemaVersion + 1);
}

// Killed anywhere while it migrates, the store is the old version's or the new one, whole
// either way, and the next opening finishes the work.
TEST_P(StoreMigrationTest, KilledMigrationLeavesTheOldOrTheNewStore) {
    MakeOldStore();
    const Columns firstColumns = ReadColumns(database);
    const Rows before = ReadRows(database, firstColumns);
    TestLogon fresh;
    const std::vector<std::string> newShape = Shape(fresh.DatabasePath());
    int newSeen = 0;
    KillAtPoints(
        {"store migration", 12}, [&] { MakeOldStore(); },
        [&] {
            return StartChild([&] {
                LogonStore store(kTestCost);
                return store.Open(home) ? 0 : 1;
            });
        },
        [&](const KillPoint&) {
            const int version = Version(database);
            ASSERT_TRUE(version == GetParam() || version == logon::kStoreSchemaVersion) << version;
            newSeen += version != GetParam();
            if (version != GetParam()) {
                EXPECT_EQ(Shape(database), newShape);
                if (GetParam() >= 2) {
                    EXPECT_EQ(TokenLabels(database).at("carol"), "Carol's Card");
                }
            }
            EXPECT_EQ(ReadRows(database, firstColumns), before);
            TestLogon store(home);
            ASSERT_TRUE(store.IsOpen());
            EXPECT_TRUE(store.CheckIntegrity()) << store.LastError();
            EXPECT_EQ(Version(database), logon::kStoreSchemaVersion);
        });
    // How many kills came after the work depends on the machine's load; a run left alone
    // always ends with the new store.
    if (newSeen == 0) {
        MakeOldStore();
        ASSERT_EQ(WaitChild(StartChild([&] { return LogonStore(kTestCost).Open(home) ? 0 : 1; })), 0);
        EXPECT_EQ(Version(database), logon::kStoreSchemaVersion);
        EXPECT_EQ(Shape(database), newShape);
    }
}

INSTANTIATE_TEST_SUITE_P(FromVersion, StoreMigrationTest, ::testing::Values(1, 2, 4),
                         [](const ::testing::TestParamInfo<int>& info) { return "V" + std::to_string(info.param); });

}  // namespace
