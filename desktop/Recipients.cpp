#include "Recipients.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "DirectorySource.h"
#include "Messages.h"
#include "dialogs/Messages.h"
#include "logon/CertProfile.h"
#include "logon/LogonStore.h"

namespace {

// Worse first: what keeps a package from being made outranks what only deserves a look.
int Badness(int state) {
    switch (state) {
        case kCertConfirmed:
            return 0;
        case kCertNeverConfirmed:
            return 1;
        case kCertModified:
            return 2;
        default:
            return 3;
    }
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool RowHas(const RecipientRow& row, const std::string& word) {
    for (const std::string* field : {&row.id, &row.name, &row.email})
        if (Lower(*field).find(word) != std::string::npos) return true;
    return std::any_of(row.members.begin(), row.members.end(),
                       [&](const RecipientRow& member) { return RowHas(member, word); });
}

}  // namespace

bool RecipientRow::Usable() const {
    if (kind == Kind::kGroup)
        return std::any_of(members.begin(), members.end(), [](const RecipientRow& m) { return m.Usable(); });
    return validNow && (certState == kCertConfirmed || certState == kCertNeverConfirmed);
}

std::string StoreRecipients::Name() const { return MessageText(msg::desktop::StoreSource); }

bool StoreRecipients::ReadRows(std::vector<RecipientRow>& rows, std::string& error) {
    std::vector<LogonUserInfo> users;
    std::vector<Lumo_Group> groups;
    if (!m_store.ListUsers(users) || !m_store.ListGroups(groups)) {
        error = m_store.LastError();
        return false;
    }
    std::vector<RecipientRow> people;
    for (const LogonUserInfo& user : users) {
        RecipientRow row;
        row.id = user.record.userId;
        row.name = user.record.name;
        row.email = user.record.email;
        row.certName = user.record.certName;
        row.number = user.record.number;
        Lumo_PubCert cert;
        cert.name = user.record.certName;
        row.certState = m_store.VerifyPubCert(cert, {});  // kCertUnknown: none installed
        if (row.certState != kCertUnknown) {
            const X509Ptr held = m_store.InstalledCert(row.id);
            const int validity = held ? logon::CertValidityNow(held.get()) : 0;
            row.validNow = validity == 0;
            if (validity != 0)
                row.stateNote =
                    MessageText(validity > 0 ? msg::desktop::CertExpiredState : msg::desktop::CertNotYetState);
        }
        row.source = Name();
        people.push_back(row);
    }
    rows.insert(rows.end(), people.begin(), people.end());
    for (const Lumo_Group& group : groups) {
        RecipientRow row;
        row.kind = RecipientRow::Kind::kGroup;
        row.id = row.name = group.name;
        row.number = group.id;
        row.certState = kCertConfirmed;
        row.source = Name();
        for (int32_t number : group.members) {
            auto member =
                std::find_if(people.begin(), people.end(), [&](const RecipientRow& p) { return p.number == number; });
            if (member == people.end()) continue;
            row.members.push_back(*member);
            row.certState = WorseCertState(row.certState, member->certState);
        }
        if (row.members.empty()) row.certState = kCertUnknown;
        rows.push_back(std::move(row));
    }
    return true;
}

std::vector<std::unique_ptr<IRecipientSource>> RecipientSources(LogonStore& store, bool directory) {
    std::vector<std::unique_ptr<IRecipientSource>> sources;
    sources.push_back(std::make_unique<StoreRecipients>(store));
#ifdef VARNEX_DIRECTORY
    if (directory && !LogonTrim(store.GetOption("Directory", "URI", "")).empty())
        sources.push_back(std::make_unique<DirectoryRecipients>(store));
#else
    (void)directory;
#endif
    return sources;
}

int WorseCertState(int a, int b) { return Badness(b) > Badness(a) ? b : a; }

std::string CertStateText(int state) {
    switch (state) {
        case kCertConfirmed:
            return MessageText(msg::desktop::CertConfirmed);
        case kCertNeverConfirmed:
            return MessageText(msg::desktop::CertNotConfirmed);
        case kCertModified:
            return MessageText(msg::desktop::CertChanged);
        default:
            return MessageText(msg::desktop::CertMissing);
    }
}

RecipientChoice::RecipientChoice(std::vector<RecipientRow> rows, std::string meUserId, bool meAlways)
    : m_rows(std::move(rows)), m_me(std::move(meUserId)), m_meAlways(meAlways), m_meToo(meAlways) {
    auto me = std::find_if(m_rows.begin(), m_rows.end(), [&](const RecipientRow& r) {
        return r.kind == RecipientRow::Kind::kUser && LogonEqualNoCase(r.id, m_me);
    });
    if (me != m_rows.end()) {
        m_meRow = *me;
    } else {
        m_meRow.id = m_me;
        m_meRow.certName = CertificateNameOf(m_me);
        m_meRow.certState = kCertNeverConfirmed;
    }
}

std::vector<RecipientRow> RecipientChoice::ReadAll(const std::vector<IRecipientSource*>& sources,
                                                   std::vector<IRecipientSource*>* searched) {
    std::vector<RecipientRow> rows;
    for (IRecipientSource* source : sources) {
        std::string error;
        std::vector<RecipientRow> more;
        if (!source->ReadRows(more, error)) {
            ShowMessage(msg::desktop::SourceFailed, source->Name(), error);
            continue;
        }
        rows.insert(rows.end(), more.begin(), more.end());
        if (searched != nullptr && source->Searched()) searched->push_back(source);
    }
    return rows;
}

void RecipientChoice::AddRows(const std::vector<RecipientRow>& rows) {
    for (const RecipientRow& row : rows) {
        const bool listed = std::any_of(m_rows.begin(), m_rows.end(), [&](const RecipientRow& r) {
            return r.kind == row.kind && r.source == row.source && LogonEqualNoCase(r.id, row.id);
        });
        if (!listed) m_rows.push_back(row);
    }
}

bool RecipientChoice::CanPress(int id) const {
    if (id == kIdOk) return !ChosenUsers().empty();
    if (id == kIdSearch) return m_searchable && !LogonTrim(m_filter).empty();
    return true;
}

std::string RecipientChoice::Title() const { return MessageText(msg::desktop::ChooserTitle); }

std::vector<std::string> RecipientChoice::Lines() const { return {MessageText(msg::desktop::ChooserHint)}; }

std::vector<DialogButton> RecipientChoice::Buttons() const {
    std::vector<DialogButton> buttons;
    if (m_searchable) buttons.push_back({kIdSearch, MessageText(msg::desktop::ChooserSearch), "search"});
    buttons.push_back({kIdOk, MessageText(msg::dialogs::Ok), "ok"});
    buttons.push_back({kIdCancel, MessageText(msg::dialogs::Cancel), "cancel"});
    return buttons;
}

bool RecipientChoice::Matches(size_t i, const std::string& filter) const {
    std::istringstream words(Lower(filter));
    std::string word;
    while (words >> word)
        if (!RowHas(m_rows[i], word)) return false;
    return true;
}

void RecipientChoice::SetChecked(size_t i, bool checked) {
    if (i >= m_rows.size() || Kept(i)) return;
    if (checked && m_rows[i].Usable())
        m_checked.insert(i);
    else if (!checked)
        m_checked.erase(i);
}

void RecipientChoice::Keep(size_t i) {
    if (i >= m_rows.size()) return;
    m_kept.insert(i);
    m_checked.insert(i);
}

std::vector<const RecipientRow*> RecipientChoice::ChosenUsers() const {
    std::vector<const RecipientRow*> chosen;
    auto add = [&](const RecipientRow& user) {
        if (!user.Usable()) return;
        for (const RecipientRow* have : chosen)
            if (LogonEqualNoCase(have->id, user.id)) return;
        chosen.push_back(&user);
    };
    if (m_meToo) add(m_meRow);
    for (size_t i : m_checked) {
        const RecipientRow& row = m_rows[i];
        if (row.kind == RecipientRow::Kind::kUser) add(row);
        for (const RecipientRow& member : row.members) add(member);
    }
    return chosen;
}

std::vector<std::string> RecipientChoice::ExternalNames() const {
    std::vector<std::string> names;
    for (const RecipientRow* row : ChosenUsers())
        if (row->external) names.push_back(row->email.empty() ? row->id : row->email);
    return names;
}

std::vector<std::string> RecipientChoice::ChosenUserIds() const {
    std::vector<std::string> ids;
    for (const RecipientRow* row : ChosenUsers())
        if (!row->external) ids.push_back(row->id);
    ids.insert(ids.end(), m_resolved.begin(), m_resolved.end());
    return ids;
}

std::vector<std::string> RecipientChoice::ChosenCertNames() const {
    std::vector<std::string> names;
    for (const RecipientRow* row : ChosenUsers())
        if (!row->external) names.push_back(row->certName);
    // A resolved name is the name its certificate is kept under.
    names.insert(names.end(), m_resolved.begin(), m_resolved.end());
    return names;
}

std::vector<DecryptMan> RecipientChoice::ChosenShareEntries() const {
    std::vector<DecryptMan> entries;
    for (size_t i : m_checked) {
        if (Kept(i)) continue;
        const RecipientRow& row = m_rows[i];
        entries.push_back({row.kind == RecipientRow::Kind::kGroup ? kDecryptManGroup : kDecryptManUser, row.number});
    }
    return entries;
}
