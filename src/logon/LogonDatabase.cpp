#include "logon/LogonDatabase.h"

#include <iterator>

#include "logon/Pkcs11.h"
#include "logon/StoreMessages.h"

namespace logon {

namespace {

// Users keep their number for life: AUTOINCREMENT never hands a removed user's number to
// a new user, so a share grant or a group that still names it cannot open to a stranger.
// Names that readers look up ignore ASCII case (NOCASE), as the engine's comparisons do.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users (
    number      INTEGER PRIMARY KEY AUTOINCREMENT,
    user_id     TEXT NOT NULL UNIQUE COLLATE NOCASE,
    name        TEXT NOT NULL,
    email       TEXT NOT NULL,
    type        INTEGER NOT NULL,
    verifier    TEXT NOT NULL,
    private_key TEXT,
    device      TEXT,
    token_label TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS certs (
    name        TEXT PRIMARY KEY COLLATE NOCASE,
    user_number INTEGER NOT NULL DEFAULT 0,
    subject     TEXT NOT NULL,
    email       TEXT NOT NULL,
    der         BLOB NOT NULL,
    confirmed   BLOB,
    chain       BLOB,
    source      TEXT
);
CREATE TABLE IF NOT EXISTS groups (
    id   INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE
);
CREATE TABLE IF NOT EXISTS group_members (
    group_id    INTEGER NOT NULL,
    position    INTEGER NOT NULL,
    user_number INTEGER NOT NULL,
    PRIMARY KEY (group_id, user_number)
);
CREATE TABLE IF NOT EXISTS shares (
    id   INTEGER PRIMARY KEY AUTOINCREMENT,
    path TEXT NOT NULL UNIQUE COLLATE NOCASE
);
CREATE TABLE IF NOT EXISTS share_entries (
    share_id INTEGER NOT NULL,
    position INTEGER NOT NULL,
    type     INTEGER NOT NULL,
    id       INTEGER NOT NULL,
    PRIMARY KEY (share_id, type, id)
);
CREATE TABLE IF NOT EXISTS directory_groups (
    id   INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE
);
CREATE TABLE IF NOT EXISTS options (
    section TEXT NOT NULL COLLATE NOCASE,
    key     TEXT NOT NULL COLLATE NOCASE,
    value   TEXT NOT NULL,
    PRIMARY KEY (section, key)
);
)sql";

// The steps that bring an older store up to date: kMigrations[i] turns version i + 1 into
// version i + 2, and kSchema above is what all of them together make of a version-1 store.
// Steps only add: what a store holds stays as it is (a certificate is never issued again,
// since peers confirmed its fingerprint).
constexpr const char* kMigrations[] = {
    // 1 -> 2: the issuers' certificates (DER, one after another) that came with a certificate.
    "ALTER TABLE certs ADD COLUMN chain BLOB;",
    // 2 -> 3: where a certificate taken from elsewhere came from (the directory and entry).
    "ALTER TABLE certs ADD COLUMN source TEXT;",
    // 3 -> 4: the label of the token a key-device user's key is on, taken from the token=
    // attribute of the pkcs11: URI its device column already holds; '' for everyone else.
    "ALTER TABLE users ADD COLUMN token_label TEXT NOT NULL DEFAULT '';"
    "UPDATE users SET token_label = uri_token_label(device) WHERE device LIKE 'pkcs11:%';",
    // 4 -> 5: the names of directory groups that share entries of type 2 stand for.
    "CREATE TABLE directory_groups (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "name TEXT NOT NULL UNIQUE COLLATE NOCASE);",
};
static_assert(std::size(kMigrations) == kStoreSchemaVersion - 1, "one step per version");

// uri_token_label(TEXT): the token= label of a pkcs11: URI, percent-decoded; '' when the
// text is no such URI. The migration to version 3 fills the label column with it.
void UriTokenLabel(sqlite3_context* context, int, sqlite3_value** args) {
    const unsigned char* text = sqlite3_value_text(args[0]);
    p11::Uri uri;
    if (text == nullptr || !p11::ParseUri(reinterpret_cast<const char*>(text), uri)) uri.token.clear();
    sqlite3_result_text(context, uri.token.data(), static_cast<int>(uri.token.size()), SQLITE_TRANSIENT);
}

}  // namespace

// ---- Database

bool Database::Open(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(raw);
    if (rc != SQLITE_OK) {
        m_openError = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        m_db.reset();
        return false;
    }
    sqlite3_busy_timeout(raw, kStoreBusyTimeoutMs);
    sqlite3_extended_result_codes(raw, 1);
    // Reading the journal mode also proves that the file is a database at all.
    Statement wal(*this, "PRAGMA journal_mode=WAL");
    // Removed keys and verifiers are overwritten with zeros, not left in free pages of the
    // database or in the log, whatever the SQLite build's default.
    if (!wal.Next() || !Exec("PRAGMA synchronous=FULL") || !Exec("PRAGMA secure_delete=ON")) {
        m_openError = Error();
        m_db.reset();
        return false;
    }
    return true;
}

bool Database::Exec(const char* sql) {
    return m_db && sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int Database::SchemaVersion() const {
    Statement version(*this, "PRAGMA user_version");
    return version.Next() ? static_cast<int>(version.Int(0)) : -1;
}

bool Database::DropOldPages() { return Exec("PRAGMA wal_checkpoint(TRUNCATE)"); }

bool Database::EnsureSchema() {
    m_schemaError.clear();
    int version = SchemaVersion();
    if (version == kStoreSchemaVersion) return true;
    // Two processes may create or bring up one store at once: the second, once it has the
    // write lock, finds the version set.
    Transaction tx(*this);
    if (tx.Ok()) version = SchemaVersion();
    if (!tx.Ok() || version < 0) return false;
    if (version == kStoreSchemaVersion) return true;
    if (version > kStoreSchemaVersion) {
        m_schemaError = MessageText(msg::logon_store::NewerStore, version, kStoreSchemaVersion);
        return false;
    }
    if (version == 0 && !Exec(kSchema)) return false;
    if (sqlite3_create_function_v2(m_db.get(), "uri_token_label", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   UriTokenLabel, nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    for (int from = version; from != 0 && from < kStoreSchemaVersion; ++from) {
        if (!Exec(kMigrations[from - 1])) return false;
    }
    return Exec(("PRAGMA user_version=" + std::to_string(kStoreSchemaVersion)).c_str()) && tx.Commit();
}

bool Database::IntegrityOk() {
    Statement check(*this, "PRAGMA integrity_check");
    return check.Next() && check.Text(0) == "ok";
}

std::string Database::Error() const {
    if (!m_schemaError.empty()) return m_schemaError;
    return m_db ? sqlite3_errmsg(m_db.get()) : m_openError;
}

// ---- Statement

Statement::Statement(const Database& db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (db.Handle() != nullptr && sqlite3_prepare_v2(db.Handle(), sql, -1, &raw, nullptr) == SQLITE_OK) {
        m_stmt.reset(raw);
    }
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (m_stmt && sqlite3_bind_text(m_stmt.get(), index, text.data(), static_cast<int>(text.size()),
                                    SQLITE_TRANSIENT) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
    if (m_stmt && sqlite3_bind_int64(m_stmt.get(), index, value) != SQLITE_OK) m_failed = true;
    return *this;
}

Statement& Statement::Bind(int index, const std::vector<unsigned char>& blob) {
    if (m_stmt && sqlite3_bind_blob(m_stmt.get(), index, blob.data(), static_cast<int>(blob.size()),
                                    SQLITE_TRANSIENT) != SQLITE_OK) {
        m_failed = true;
    }
    return *this;
}

Statement& Statement::BindNull(int index) {
    if (m_stmt && sqlite3_bind_null(m_stmt.get(), index) != SQLITE_OK) m_failed = true;
    return *this;
}

bool Statement::Next() {
    if (!Ok()) return false;
    int rc = sqlite3_step(m_stmt.get());
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) m_failed = true;
    return false;
}

bool Statement::Run() {
    if (!Ok()) return false;
    int rc = sqlite3_step(m_stmt.get());
    if (rc != SQLITE_DONE) m_failed = true;
    return rc == SQLITE_DONE;
}

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt.get(), column);
    int n = sqlite3_column_bytes(m_stmt.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n)) : std::string();
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(m_stmt.get(), column); }

std::vector<unsigned char> Statement::Blob(int column) const {
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(m_stmt.get(), column));
    int n = sqlite3_column_bytes(m_stmt.get(), column);
    return data ? std::vector<unsigned char>(data, data + n) : std::vector<unsigned char>();
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL; }

// ---- Transaction

Transaction::Transaction(Database& db) : m_db(db) { m_open = m_db.Exec("BEGIN IMMEDIATE"); }

Transaction::~Transaction() {
    if (m_open) m_db.Exec("ROLLBACK");
}

bool Transaction::Commit() {
    if (!m_open) return false;
    if (!m_db.Exec("COMMIT")) return false;  // still open: the destructor rolls back
    m_open = false;
    return true;
}

}  // namespace logon
