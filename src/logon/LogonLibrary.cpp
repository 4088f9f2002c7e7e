// The installation point of the logon library, the store classes that delegate to it,
// and the texts and helpers that every implementation shares.

#include "logon/ILogon.h"

#include <atomic>

namespace {

std::atomic<ILogon*> g_logon{nullptr};

constexpr std::string_view kSharedKeyPrefix = "share:";

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Opens one store on the given library, or on the installed one when none was given.
ILogon* OpenOn(ILogon*& logon, LogonStoreKind kind) {
    if (logon == nullptr) logon = LogonLibrary();
    if (logon == nullptr || logon->OpenStore(kind) == 0) return nullptr;
    return logon;
}

}  // namespace

void InstallLogonLibrary(ILogon* logon) { g_logon.store(logon); }

ILogon* LogonLibrary() { return g_logon.load(); }

// ---- Store classes

int CPubCertFile::OpenFile() {
    records_.clear();
    next_ = 0;
    open_ = OpenOn(logon_, LogonStoreKind::PubCert) != nullptr &&
            logon_->ReadPubCerts(records_) != 0;
    return open_ ? 1 : 0;
}

int CPubCertFile::ReadFirstRec(Lumo_PubCert& out) {
    next_ = 0;
    return ReadNextRec(out);
}

int CPubCertFile::ReadNextRec(Lumo_PubCert& out) {
    if (!open_ || next_ >= records_.size()) return 0;
    out = records_[next_++];
    return 1;
}

void CPubCertFile::CloseFile() {
    open_ = false;
    records_.clear();
    next_ = 0;
}

int CSignPubCert::OpenFile() {
    open_ = OpenOn(logon_, LogonStoreKind::SignPubCert) != nullptr;
    return open_ ? 1 : 0;
}

int CSignPubCert::VerifyPubCert(Lumo_PubCert cert, const std::string& ownerId) {
    return open_ ? logon_->VerifyPubCert(cert, ownerId) : kCertUnknown;
}

void CSignPubCert::CloseFile() { open_ = false; }

int CUserGroup::OpenFile() {
    open_ = OpenOn(logon_, LogonStoreKind::UserGroup) != nullptr;
    return open_ ? 1 : 0;
}

int CUserGroup::ReadRecByID(int32_t groupId, Lumo_Group& out) {
    return open_ ? logon_->ReadGroup(groupId, out) : 0;
}

void CUserGroup::CloseFile() { open_ = false; }

int CInsureDecryptMen::OpenFile() {
    open_ = OpenOn(logon_, LogonStoreKind::InsureDecryptMen) != nullptr;
    return open_ ? 1 : 0;
}

int CInsureDecryptMen::GetRecOfPath(Insure_Decrypt_Men& out, const std::string& ownerId,
                                    const std::string& sharePath) {
    return open_ ? logon_->ReadDecryptMen(ownerId, sharePath, out) : 0;
}

void CInsureDecryptMen::CloseFile() { open_ = false; }

// ---- Shared texts

std::string CertificateNameOf(std::string_view userId) { return std::string(userId); }

std::string SharedKeyNameOf(std::string_view userId) {
    return std::string(kSharedKeyPrefix) + std::string(userId);
}

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
    return std::string(userId.substr(0, kLogonIdentityCap - 1));
}

std::string UserIdOfIdentity(std::string_view identity) { return LogonTrim(identity); }

// ---- Lists and text

std::string LogonTrim(std::string_view text) {
    size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

bool LogonEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

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

std::string LogonSplitName(std::string_view path) {
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string LogonSplitFolder(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string LogonSplitExt(std::string_view path) {
    std::string name = LogonSplitName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

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
