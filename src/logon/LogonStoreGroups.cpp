// User groups and the authorised decryptors of shared folders.

#include <algorithm>

#include "logon/LogonStore.h"
#include "logon/StoreMessages.h"
#include "platform/Text.h"

int32_t LogonStore::AddGroup(const std::string& name) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    if (std::string error = logon::CheckGroupName(name); !error.empty()) return Fail(error);
    // Lists of recipients ("--to @a,b") split at commas: a group named with one could be named
    // in none. A group of the directory is named as it is there: this holds for the store's own.
    if (name.find(',') != std::string::npos) return Fail(MessageText(msg::logon_store::GroupNameComma));
    if (FindGroup(name) != 0) return Fail(MessageText(msg::logon_store::GroupExists, name));
    logon::Transaction tx(m_db);
    logon::Statement add(m_db, "INSERT INTO groups (name) VALUES (?1)");
    if (!tx.Ok() || !add.Bind(1, name).Run()) return Fail(MessageText(msg::logon_store::CannotAddGroup, m_db.Error()));
    auto id = static_cast<int32_t>(sqlite3_last_insert_rowid(m_db.Handle()));
    return tx.Commit() ? id : Fail(MessageText(msg::logon_store::CannotAddGroup, m_db.Error()));
}

int32_t LogonStore::FindGroup(const std::string& name) {
    logon::Statement q(m_db, "SELECT id FROM groups WHERE name = ?1");
    q.Bind(1, LogonTrim(name));
    return q.Next() ? static_cast<int32_t>(q.Int(0)) : 0;
}

bool LogonStore::AddGroupMembers(const std::string& group, const std::vector<std::string>& userIds) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    int32_t id = FindGroup(group);
    if (id == 0) return Fail(MessageText(msg::logon_store::NoSuchGroup, group));
    std::vector<int32_t> numbers;
    for (const std::string& userId : userIds) {
        UserRow user;
        if (!FindUser(userId, user)) return Fail(MessageText(msg::logon_store::NoSuchUser, userId));
        numbers.push_back(user.number);
    }
    logon::Transaction tx(m_db);
    bool ok = tx.Ok();
    for (int32_t number : numbers) {
        logon::Statement add(m_db,
                             "INSERT OR IGNORE INTO group_members (group_id, position, user_number) "
                             "VALUES (?1, (SELECT COALESCE(MAX(position), 0) + 1 FROM group_members "
                             "WHERE group_id = ?1), ?2)");
        ok = ok && add.Bind(1, static_cast<int64_t>(id)).Bind(2, static_cast<int64_t>(number)).Run();
    }
    return ok && tx.Commit() ? true : Fail(MessageText(msg::logon_store::CannotChangeGroup, m_db.Error()));
}

int LogonStore::ReadGroup(int32_t groupId, Lumo_Group& out) {
    logon::Statement group(m_db, "SELECT id, name FROM groups WHERE id = ?1");
    if (!group.Bind(1, static_cast<int64_t>(groupId)).Next()) return 0;
    out.id = static_cast<int32_t>(group.Int(0));
    out.name = group.Text(1);
    out.members.clear();
    logon::Statement members(m_db, "SELECT user_number FROM group_members WHERE group_id = ?1 ORDER BY position");
    members.Bind(1, static_cast<int64_t>(groupId));
    while (members.Next()) out.members.push_back(static_cast<int32_t>(members.Int(0)));
    return members.Ok() ? 1 : 0;
}

bool LogonStore::ListGroups(std::vector<Lumo_Group>& out) {
    out.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    std::vector<int32_t> ids;
    logon::Statement q(m_db, "SELECT id FROM groups ORDER BY id");
    while (q.Next()) ids.push_back(static_cast<int32_t>(q.Int(0)));
    for (int32_t id : ids) {
        out.emplace_back();
        if (!ReadGroup(id, out.back())) return Fail(MessageText(msg::logon_store::CannotReadGroups, m_db.Error()));
    }
    return q.Ok() ? true : Fail(MessageText(msg::logon_store::CannotReadGroups, m_db.Error()));
}

// ---- Shares

bool LogonStore::GrantShare(const std::string& path, const std::vector<DecryptMan>& entries) {
    m_error.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    if (std::string error = logon::CheckSharePath(path); !error.empty()) return Fail(error);
    if (entries.empty()) return Fail(MessageText(msg::logon_store::NameSomeoneToGrant));
    for (const DecryptMan& entry : entries) {
        UserRow user;
        Lumo_Group group;
        if (entry.type == kDecryptManUser && !FindUser(entry.id, user)) {
            return Fail(MessageText(msg::logon_store::NoUserNumber, entry.id));
        }
        if (entry.type == kDecryptManGroup && !ReadGroup(entry.id, group)) {
            return Fail(MessageText(msg::logon_store::NoGroupNumber, entry.id));
        }
        if (entry.type == kDecryptManDirectoryGroup) {
            if (std::string error = logon::CheckGroupName(entry.name); !error.empty()) return Fail(error);
        } else if (entry.type != kDecryptManUser && entry.type != kDecryptManGroup) {
            return Fail(MessageText(msg::logon_store::UnknownDecryptorType));
        }
    }
    const std::string key = logon::SharePathKey(path);
    logon::Transaction tx(m_db);
    logon::Statement addShare(m_db, "INSERT OR IGNORE INTO shares (path) VALUES (?1)");
    logon::Statement findShare(m_db, "SELECT id FROM shares WHERE path = ?1");
    bool ok = tx.Ok() && addShare.Bind(1, key).Run() && findShare.Bind(1, key).Next();
    const int64_t share = ok ? findShare.Int(0) : 0;
    for (const DecryptMan& entry : entries) {
        int64_t id = entry.id;
        // A directory group's entry holds the store's number for its name, the same for every
        // share that names it.
        if (entry.type == kDecryptManDirectoryGroup) {
            logon::Statement addName(m_db, "INSERT OR IGNORE INTO directory_groups (name) VALUES (?1)");
            logon::Statement findName(m_db, "SELECT id FROM directory_groups WHERE name = ?1");
            ok = ok && addName.Bind(1, entry.name).Run() && findName.Bind(1, entry.name).Next();
            id = ok ? findName.Int(0) : 0;
        }
        logon::Statement add(m_db,
                             "INSERT OR IGNORE INTO share_entries (share_id, position, type, id) "
                             "VALUES (?1, (SELECT COALESCE(MAX(position), 0) + 1 FROM share_entries "
                             "WHERE share_id = ?1), ?2, ?3)");
        ok = ok && add.Bind(1, share).Bind(2, static_cast<int64_t>(entry.type)).Bind(3, id).Run();
    }
    return ok && tx.Commit() ? true : Fail(MessageText(msg::logon_store::CannotGrantShare, m_db.Error()));
}

// A shared folder's decryptors are the same whoever asks.
int LogonStore::ReadDecryptMen(const std::string& /*ownerId*/, const std::string& sharePath, Insure_Decrypt_Men& out) {
    logon::Statement share(m_db, "SELECT id, path FROM shares WHERE path = ?1");
    if (!share.Bind(1, logon::SharePathKey(sharePath)).Next()) return 0;
    out.path = share.Text(1);
    out.entries.clear();
    logon::Statement entries(m_db,
                             "SELECT e.type, e.id, COALESCE(g.name, '') FROM share_entries e "
                             "LEFT JOIN directory_groups g ON e.type = ?2 AND g.id = e.id "
                             "WHERE e.share_id = ?1 ORDER BY e.position");
    entries.Bind(1, share.Int(0)).Bind(2, static_cast<int64_t>(kDecryptManDirectoryGroup));
    while (entries.Next()) {
        out.entries.push_back(
            {static_cast<uint8_t>(entries.Int(0)), static_cast<int32_t>(entries.Int(1)), entries.Text(2)});
    }
    return entries.Ok() ? 1 : 0;
}

bool LogonStore::ListShares(std::vector<Insure_Decrypt_Men>& out) {
    out.clear();
    if (!IsOpen()) return Fail(MessageText(msg::logon_store::NotOpen));
    std::vector<std::string> paths;
    logon::Statement q(m_db, "SELECT path FROM shares ORDER BY path COLLATE NOCASE");
    while (q.Next()) paths.push_back(q.Text(0));
    for (const std::string& path : paths) {
        out.emplace_back();
        if (!ReadDecryptMen({}, path, out.back()))
            return Fail(MessageText(msg::logon_store::CannotReadShares, m_db.Error()));
    }
    return q.Ok() ? true : Fail(MessageText(msg::logon_store::CannotReadShares, m_db.Error()));
}
