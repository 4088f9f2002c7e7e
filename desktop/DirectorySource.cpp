#include "DirectorySource.h"

#ifdef VARNEX_DIRECTORY

#include "CertConfirmation.h"
#include "Messages.h"
#include "directory/DirectoryRecipients.h"
#include "directory/Messages.h"
#include "logon/LogonStore.h"
#include "platform/MessageBox.h"

DirectoryRecipients::DirectoryRecipients(LogonStore& store)
    : m_store(store), m_uri(LogonTrim(store.GetOption("Directory", "URI", ""))) {}

DirectoryRecipients::~DirectoryRecipients() = default;

std::string DirectoryRecipients::Name() const { return MessageText(msg::desktop::DirectorySource, m_uri); }

bool DirectoryRecipients::ReadRows(std::vector<RecipientRow>& rows, std::string& error) {
    if (!m_client) {
        directory::Settings settings;
        if (!directory::ReadSettings(m_store, settings, error)) return false;
        auto client = std::make_unique<directory::Client>(settings);
        if (!client->Connect()) {
            error = client->Error();
            return false;
        }
        m_client = std::move(client);
    }
    if (LogonTrim(m_text).empty()) return true;
    std::vector<directory::Entry> entries;
    if (!m_client->Search(m_text, entries)) {
        error = m_client->Error();
        return false;
    }
    // A groupOfNames has members; a person has none.
    for (const directory::Entry& entry : entries)
        rows.push_back(entry.members.empty() ? PersonRow(entry) : GroupRow(entry));
    return true;
}

RecipientRow DirectoryRecipients::PersonRow(const directory::Entry& entry) {
    RecipientRow row;
    row.external = true;
    // The name its certificate is kept under; a member entry that is gone is named by its DN.
    row.id = row.certName = !entry.uid.empty() ? entry.uid : !entry.mail.empty() ? entry.mail : entry.dn;
    row.name = entry.cn;
    row.email = entry.mail;
    row.source = Name();
    directory::Person person;
    if (entry.certs.empty()) {
        row.stateNote = MessageText(msg::directory::StateNone);
    } else if (!m_client->CheckPerson(entry.mail.empty() ? entry.uid : entry.mail, entry, person)) {
        row.stateNote = m_client->Error();
    } else {
        std::vector<unsigned char> held;
        const bool kept = m_store.RecipientState(person.StoreName(), &held) == kCertConfirmed && held == person.der;
        row.certState = kept ? kCertConfirmed : kCertNeverConfirmed;
        if (!kept) row.stateNote = MessageText(msg::desktop::CertToConfirm);
    }
    return row;
}

RecipientRow DirectoryRecipients::GroupRow(const directory::Entry& entry) {
    RecipientRow row;
    row.kind = RecipientRow::Kind::kGroup;
    row.external = true;
    row.id = row.name = entry.cn;
    row.source = Name();
    std::vector<directory::Entry> members;
    if (!m_client->GroupMembers(entry.cn, members)) {
        row.stateNote = m_client->Error();
        return row;
    }
    row.certState = kCertConfirmed;
    for (const directory::Entry& member : members) {
        row.members.push_back(PersonRow(member));
        row.certState = WorseCertState(row.certState, row.members.back().certState);
    }
    if (row.members.empty()) row.certState = kCertUnknown;
    return row;
}

int ResolveDirectoryChoice(IUiHost& host, LogonStore& store, RecipientChoice& choice) {
    const std::vector<std::string> names = choice.ExternalNames();
    if (names.empty()) return 1;
    bool refused = false;
    auto confirm = [&](const directory::Person& person, const logon::CertSummary& summary) {
        refused = !ConfirmCertificate(host, person.name, summary);
        return !refused;
    };
    directory::Resolved resolved;
    std::string error;
    if (!directory::ResolveRecipients(store, names, confirm, resolved, error)) {
        if (refused) return -1;  // the person said no: nothing more to say
        ShowMessage(msg::desktop::RecipientsFailed, error);
        return 0;
    }
    choice.SetResolved(std::move(resolved.recipients));
    return 1;
}

std::unique_ptr<directory::ShareGroups> ShareDirectoryGroups(IUiHost& host, LogonStore& store) {
    if (LogonTrim(store.GetOption("Directory", "URI", "")).empty()) return nullptr;
    auto confirm = [&host](const directory::Person& person, const logon::CertSummary& summary) {
        return ConfirmCertificate(host, person.name, summary);
    };
    return std::make_unique<directory::ShareGroups>(store, confirm, false);
}

#endif
