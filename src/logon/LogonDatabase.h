#pragma once
// The logon store's SQLite layer: an owned connection, owned prepared statements and
// write transactions. Nothing here throws or shows a message; failures are false and the
// connection's error text.
//
// Every change to the store is one Transaction. It begins IMMEDIATE, so the write lock is
// taken up front: two processes that change the store at once queue on the busy timeout
// instead of failing half-way with SQLITE_BUSY on a lock upgrade. A transaction that is
// not committed is rolled back when it goes out of scope.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace logon {

struct SqliteClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct SqliteFinalize {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

// Schema version kept in PRAGMA user_version; a store with a higher one is refused, one
// with a lower one is brought up to this version when it opens (see EnsureSchema).
//   1  users, certificates with confirmations, groups, shares, settings
//   2  certificates keep the chain of issuers that came with them (certs.chain)
//   3  certificates taken from elsewhere keep where they came from (certs.source)
//   4  a token user's row names the token its key is on (users.token_label)
//   5  shares may name groups of the organisation's directory (directory_groups)
inline constexpr int kStoreSchemaVersion = 5;
// How long one process waits for another's transaction before giving up.
inline constexpr int kStoreBusyTimeoutMs = 30000;

class Database {
public:
    // Opens the database file at path; the file must already exist (the caller creates it
    // with owner-only permissions). Sets the busy timeout, WAL journal and full syncs.
    bool Open(const std::string& path);
    void Close() { m_db.reset(); }
    bool IsOpen() const { return m_db != nullptr; }
    sqlite3* Handle() const { return m_db.get(); }
    // Runs statements without results.
    bool Exec(const char* sql);
    // Creates the tables of a fresh store, or brings an older one up to kStoreSchemaVersion:
    // every step from its version on runs in one transaction with the new version number,
    // so a process killed meanwhile leaves the old store or the new one, never a mixture.
    // A store of a newer version is refused; Error() says why.
    bool EnsureSchema();
    // The schema version the store has (PRAGMA user_version), -1 when it cannot be read.
    int SchemaVersion() const;
    // Copies the log into the database and empties it: the log holds every earlier version of
    // a changed page (a removed key among them) until then. Called after a key or verifier is
    // removed or replaced; false when a reader holds the log (it is emptied by a later call).
    bool DropOldPages();
    // PRAGMA integrity_check answers "ok".
    bool IntegrityOk();
    std::string Error() const;

private:
    std::unique_ptr<sqlite3, SqliteClose> m_db;
    std::string m_openError;
    std::string m_schemaError;
};

class Statement {
public:
    Statement(const Database& db, const char* sql);
    bool Ok() const { return m_stmt != nullptr && !m_failed; }

    // Parameters are numbered from 1, as SQLite numbers them.
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, const std::vector<unsigned char>& blob);
    Statement& BindNull(int index);

    // True while a row is available; false at the end or on an error (see Ok()).
    bool Next();
    // Runs a statement that returns no rows; true when it completed.
    bool Run();

    std::string Text(int column) const;
    int64_t Int(int column) const;
    std::vector<unsigned char> Blob(int column) const;
    bool IsNull(int column) const;

private:
    std::unique_ptr<sqlite3_stmt, SqliteFinalize> m_stmt;
    bool m_failed = false;
};

class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Ok() const { return m_open; }
    bool Commit();

private:
    Database& m_db;
    bool m_open = false;
};

}  // namespace logon
