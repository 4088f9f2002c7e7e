// The installation point of the logon library, the store classes that delegate to it,
// and the texts and helpers that every implementation shares.

#include <atomic>
#include <utility>

#include "logon/ILogon.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

std::atomic<ILogon*> g_logon{nullptr};
thread_local ILogon* t_bound = nullptr;

constexpr std::string_view kSharedKeyPrefix = "share:";

// Opens one store on the given library, or on the installed one when none was given.
ILogon* OpenOn(ILogon*& logon, LogonStoreKind kind) {
    if (logon == nullptr) logon = LogonLibrary();
    if (logon == nullptr || logon->OpenStore(kind) == 0) return nullptr;
    return logon;
}

}  // namespace

void InstallLogonLibrary(ILogon* logon) { g_logon.store(logon); }

ILogon* LogonLibrary() { return t_bound != nullptr ? t_bound : g_logon.load(); }

ILogon* InstalledLogonLibrary() { return g_logon.load(); }

ILogon* BindThreadLogonLibrary(ILogon* logon) { return std::exchange(t_bound, logon); }

// ---- Store classes

int CPubCertFile::OpenFile() {
    m_records.clear();
    m_next = 0;
    m_open = OpenOn(m_logon, LogonStoreKind::PubCert) != nullptr && m_logon->ReadPubCerts(m_records) != 0;
    return m_open ? 1 : 0;
}

int CPubCertFile::ReadFirstRec(Lumo_PubCert& out) {
    m_next = 0;
    return ReadNextRec(out);
}

int CPubCertFile::ReadNextRec(Lumo_PubCert& out) {
    if (!m_open || m_next >= m_records.size()) return 0;
    out = m_records[m_next++];
    return 1;
}

void CPubCertFile::CloseFile() {
    m_open = false;
    m_records.clear();
    m_next = 0;
}

int CSignPubCert::OpenFile() {
    m_open = OpenOn(m_logon, LogonStoreKind::SignPubCert) != nullptr;
    return m_open ? 1 : 0;
}

int CSignPubCert::VerifyPubCert(Lumo_PubCert cert, const std::string& ownerId) {
    return m_open ? m_logon->VerifyPubCert(cert, ownerId) : kCertUnknown;
}

void CSignPubCert::CloseFile() { m_open = false; }

int CUserGroup::OpenFile() {
    m_open = OpenOn(m_logon, LogonStoreKind::UserGroup) != nullptr;
    return m_open ? 1 : 0;
}

int CUserGroup::ReadRecByID(int32_t groupId, Lumo_Group& out) { return m_open ? m_logon->ReadGroup(groupId, out) : 0; }

void CUserGroup::CloseFile() { m_open = false; }

int CInsureDecryptMen::OpenFile() {
    m_open = OpenOn(m_logon, LogonStoreKind::InsureDecryptMen) != nullptr;
    return m_open ? 1 : 0;
}

int CInsureDecryptMen::GetRecOfPath(Insure_Decrypt_Men& out, const std::string& ownerId, const std::string& sharePath) {
    return m_open ? m_logon->ReadDecryptMen(ownerId, sharePath, out) : 0;
}

void CInsureDecryptMen::CloseFile() { m_open = false; }

// ---- Shared texts

std::string CertificateNameOf(std::string_view userId) { return std::string(userId); }

std::string SharedKeyNameOf(std::string_view userId) { return std::string(kSharedKeyPrefix) + std::string(userId); }

bool UserIdOfSharedKeyName(std::string_view text, std::string& userId) {
    if (text.size() <= kSharedKeyPrefix.size() ||
        !LogonEqualNoCase(text.substr(0, kSharedKeyPrefix.size()), kSharedKeyPrefix)) {
        return false;
    }
    userId = std::string(text.substr(kSharedKeyPrefix.size()));
    return true;
}

std::string KeyTextOf(std::string_view name, std::string_view email) {
    std::string out(name);
    if (!email.empty()) {
        out += '<';
        out += email;
        out += '>';
    }
    return out;
}

void SplitKeyText(std::string_view text, std::string& name, std::string& email) {
    size_t open = text.rfind('<');
    if (open != std::string_view::npos && !text.empty() && text.back() == '>') {
        name = LogonTrim(text.substr(0, open));
        email = LogonTrim(text.substr(open + 1, text.size() - open - 2));
    } else {
        name = LogonTrim(text);
        email.clear();
    }
}

// The kind is accepted so that a later format may tell kinds apart; today every kind
// identifies the sender by the user ID alone.
std::string SenderIdentityOf(std::string_view userId, char /*kind*/) {
    return std::string(userId.substr(0, kLogonIdentityRoom - 1));
}

std::string UserIdOfIdentity(std::string_view identity) { return LogonTrim(identity); }

// ---- Lists and text

std::string LogonTrim(std::string_view text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

bool LogonEqualNoCase(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

namespace {

template <typename Visit>
void ForEachListItem(std::string_view list, Visit visit) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        std::string item = LogonTrim(list.substr(start, end - start));
        if (!item.empty() && !visit(item)) return;
        start = end + 1;
    }
}

}  // namespace

int CountLogonListItems(std::string_view list) {
    int count = 0;
    ForEachListItem(list, [&](const std::string&) {
        ++count;
        return true;
    });
    return count;
}

bool LogonListItem(std::string_view list, int index, std::string& out) {
    if (index < 1) return false;
    int at = 0;
    bool found = false;
    ForEachListItem(list, [&](const std::string& item) {
        if (++at != index) return true;
        out = item;
        found = true;
        return false;
    });
    return found;
}

// ---- Paths

std::string LogonSplitName(std::string_view path) { return NameOfPath(path); }

std::string LogonSplitFolder(std::string_view path) { return FolderOfPath(path); }

std::string LogonSplitExt(std::string_view path) { return ExtensionOfPath(path); }

void FillLogonUserRecords(std::string_view userId, std::string_view name, std::string_view email, int32_t number,
                          int type, LogonKeyRecord& key, LogonUserRecord& user) {
    key.keyNumber = number;
    key.keyText = KeyTextOf(name, email);
    user.number = number;
    user.certName = CertificateNameOf(userId);
    user.sharedKeyName = SharedKeyNameOf(userId);
    user.userId = std::string(userId);
    user.name = std::string(name);
    user.email = std::string(email);
    user.type = type;
}
