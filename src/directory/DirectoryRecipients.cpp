#include "directory/DirectoryRecipients.h"

#include <cctype>
#include <memory>

#include "directory/Messages.h"
#include "logon/LogonKeys.h"
#include "logon/LogonStore.h"

namespace directory {

namespace {

// The directory, connected on first use.
class Lookup {
public:
    explicit Lookup(LogonStore& store) : m_store(store) {}
    Client* Get(std::string& error) {
        if (m_client) return m_client.get();
        Settings settings;
        if (!ReadSettings(m_store, settings, error)) return nullptr;
        auto client = std::make_unique<Client>(settings);
        if (!client->Connect()) {
            error = client->Error();
            return nullptr;
        }
        m_client = std::move(client);
        return m_client.get();
    }

private:
    LogonStore& m_store;
    std::unique_ptr<Client> m_client;
};

bool HasName(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (LogonEqualNoCase(n, name)) return true;
    return false;
}

// The person's certificate, cached under its store name when the store does not hold exactly it
// confirmed already, and only when the person confirms it.
bool Adopt(LogonStore& store, const Client& client, const Person& person, const ConfirmCert& confirm,
           std::string& error) {
    std::vector<unsigned char> held;
    if (store.RecipientState(person.StoreName(), &held) == kCertConfirmed && held == person.der) return true;
    logon::X509Ptr cert = logon::CertFromDer(person.der);
    const logon::CertSummary summary = logon::SummarizeCert(cert.get());
    if (!confirm || !confirm(person, summary)) {
        error = MessageText(msg::directory::NotConfirmed, person.name, summary.fingerprint);
        return false;
    }
    if (!store.CacheConfirmedCert(person.StoreName(), person.der, client.Config().uri + " " + person.dn)) {
        error = MessageText(msg::directory::CannotCache, person.name, store.LastError());
        return false;
    }
    return true;
}

// The user IDs of a store group's members, or false when the store has no such group.
bool StoreGroup(LogonStore& store, const std::string& name, std::vector<std::string>& out) {
    std::vector<Lumo_Group> groups;
    std::vector<LogonUserInfo> users;
    if (!store.FindGroup(name) || !store.ListGroups(groups) || !store.ListUsers(users)) return false;
    for (const Lumo_Group& group : groups) {
        if (!LogonEqualNoCase(group.name, name)) continue;
        for (int32_t number : group.members)
            for (const LogonUserInfo& user : users)
                if (user.record.number == number) out.push_back(user.record.userId);
        return true;
    }
    return false;
}

// The members of the directory's group, each confirmed and cached, appended to recipients once;
// members without a usable certificate go to leftOut.
bool ExpandGroup(LogonStore& store, Lookup& lookup, const std::string& group, const ConfirmCert& confirm,
                 std::vector<std::string>& recipients, std::vector<std::string>& leftOut, std::string& error) {
    Client* client = lookup.Get(error);
    std::vector<Entry> entries;
    if (client == nullptr) return false;
    if (!client->GroupMembers(group, entries)) {
        error = client->Error();
        return false;
    }
    for (const Entry& entry : entries) {
        const std::string who = entry.mail.empty() ? (entry.uid.empty() ? entry.dn : entry.uid) : entry.mail;
        Person person;
        if (entry.mail.empty() || !client->CheckPerson(entry.mail, entry, person)) {
            leftOut.push_back(who);
            continue;
        }
        if (!Adopt(store, *client, person, confirm, error)) return false;
        if (!HasName(recipients, person.StoreName())) recipients.push_back(person.StoreName());
    }
    return true;
}

void SetNotice(const std::string& group, Resolved& out) {
    std::string list;
    for (const std::string& who : out.leftOut) list += (list.empty() ? "" : ", ") + who;
    if (!list.empty()) out.notice = MessageText(msg::directory::MembersLeftOut, group, list);
}

}  // namespace

std::string NormalizeFingerprint(const std::string& text) {
    std::string hex;
    for (char c : LogonTrim(text)) {
        if (c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
        hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return hex.size() == 64 ? hex : std::string();
}

namespace {

bool Resolve(LogonStore& store, const std::vector<std::string>& names, const ConfirmCert& confirm, Resolved& out,
             std::string& error) {
    Lookup lookup(store);
    // Without a directory the names stay as given, for the store to refuse in its own words.
    const bool haveDirectory = !LogonTrim(store.GetOption("Directory", "URI", "")).empty();
    std::vector<std::string> unknown;
    std::string leftOutGroup;
    for (const std::string& raw : names) {
        const std::string name = LogonTrim(raw);
        if (name.size() > 1 && name[0] == '@') {
            const std::string group = name.substr(1);
            std::vector<std::string> members;
            // A group named as recipients that gives none would leave the package to its
            // sender alone, as if the group had been served.
            if (StoreGroup(store, group, members)) {
                if (members.empty()) {
                    error = MessageText(msg::directory::GroupNobody, group);
                    return false;
                }
                for (const std::string& m : members)
                    if (!HasName(out.recipients, m)) out.recipients.push_back(m);
                continue;
            }
            if (!haveDirectory) {
                out.recipients.push_back(name);
                continue;
            }
            const size_t before = out.leftOut.size();
            std::vector<std::string> gained;
            if (!ExpandGroup(store, lookup, group, confirm, gained, out.leftOut, error)) return false;
            if (gained.empty()) {
                error = MessageText(msg::directory::GroupNobody, group);
                return false;
            }
            for (const std::string& m : gained)
                if (!HasName(out.recipients, m)) out.recipients.push_back(m);
            if (out.leftOut.size() != before) leftOutGroup = group;
            continue;
        }
        if (store.RecipientState(name) != kCertUnknown || !haveDirectory) {
            if (!HasName(out.recipients, name)) out.recipients.push_back(name);
        } else if (!HasName(unknown, name)) {
            unknown.push_back(name);
        }
    }
    if (!unknown.empty()) {
        Client* client = lookup.Get(error);
        std::vector<Person> people;
        if (client == nullptr) return false;
        if (!client->FindPeople(unknown, people)) {
            error = client->Error();
            return false;
        }
        for (const Person& person : people) {
            if (!Adopt(store, *client, person, confirm, error)) return false;
            if (!HasName(out.recipients, person.StoreName())) out.recipients.push_back(person.StoreName());
        }
    }
    SetNotice(leftOutGroup, out);
    return true;
}

}  // namespace

bool ResolveRecipients(LogonStore& store, const std::vector<std::string>& names, const ConfirmCert& confirm,
                       Resolved& out, std::string& error) {
    const std::vector<std::string> given = names;  // names may be out's own list
    out = {};
    error.clear();
    if (Resolve(store, given, confirm, out, error)) return true;
    out = {};
    return false;
}

bool ResolveDirectoryGroup(LogonStore& store, const std::string& group, const ConfirmCert& confirm, Resolved& out,
                           std::string& error) {
    out = {};
    error.clear();
    Lookup lookup(store);
    if (ExpandGroup(store, lookup, LogonTrim(group), confirm, out.recipients, out.leftOut, error)) {
        SetNotice(LogonTrim(group), out);
        return true;
    }
    out = {};
    return false;
}

}  // namespace directory
