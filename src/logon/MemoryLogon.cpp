#include "logon/MemoryLogon.h"

#include <openssl/crypto.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "logon/LogonStoreRules.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVirtualCertPrefix = "memory:/certs/";

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string OptionKey(const std::string& section, const std::string& key) { return Fold(section) + '\n' + Fold(key); }

// Share paths compare without regard to case and to one trailing separator.
std::string ShareKey(std::string_view path) {
    std::string out = Fold(LogonTrim(path));
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

}  // namespace

MemoryLogon::MemoryLogon(uint32_t passwordIterations) : iterations_(passwordIterations) {}

// ---- Setting up

int32_t MemoryLogon::AddUser(const std::string& userId, const std::string& name, const std::string& email,
                             const std::string& password, int type) {
    if (userId.empty() || userId.size() >= kLogonCertNameCap || FindUser(userId) ||
        FindCert(CertificateNameOf(userId)) || password.size() >= kLogonPasswordCap ||
        KeyTextOf(name, email).size() >= kLogonKeyTextCap ||
        KeyTextTaken(KeyTextOf(name, email), CertificateNameOf(userId))) {
        return 0;
    }
    logon::PkeyPtr key = logon::GenerateRsaKey();
    if (!key) return 0;
    User user;
    user.id = userId;
    user.name = name;
    user.email = email;
    user.number = static_cast<int32_t>(users_.size()) + 1;
    user.type = type == kLogonKeyDevice ? kLogonKeyDevice : kLogonSoftwareKey;
    user.verifier = logon::MakePasswordVerifier(password.data(), password.size(), iterations_);
    user.keyPem = logon::ExportPrivateKeyPem(key.get(), password.data(), password.size(), iterations_);
    logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), name, email, user.number);
    if (!cert || user.keyPem.empty() || user.verifier.hash.empty()) return 0;
    if (user.type == kLogonKeyDevice) user.deviceKey = std::move(key);
    users_.push_back(std::move(user));
    InstallCert(CertificateNameOf(userId), cert.get(), true);
    return users_.back().number;
}

void MemoryLogon::SetOption(const std::string& section, const std::string& key, const std::string& value) {
    options_[OptionKey(section, key)] = value;
}

int MemoryLogon::LogOn(const std::string& userId, const std::string& password) {
    const User* user = FindUser(userId);
    if (!user || !PasswordOk(*user, password.data(), static_cast<int>(password.size()))) return 0;
    session_ = user->id;
    OPENSSL_cleanse(sessionPassword_.data(), sessionPassword_.size());
    sessionPassword_ = password;
    return 1;
}

void MemoryLogon::LogOff() {
    session_.clear();
    OPENSSL_cleanse(sessionPassword_.data(), sessionPassword_.size());
    sessionPassword_.clear();
}

int32_t MemoryLogon::AddGroup(const std::string& name, const std::vector<int32_t>& members) {
    Lumo_Group group;
    group.id = static_cast<int32_t>(groups_.size()) + 1;
    group.name = name;
    group.members = members;
    groups_.push_back(group);
    return group.id;
}

void MemoryLogon::GrantShare(const std::string& path, uint8_t type, int32_t id) {
    for (auto& share : shares_) {
        if (ShareKey(share.path) == ShareKey(path)) {
            share.entries.push_back({type, id});
            return;
        }
    }
    shares_.push_back({path, {{type, id}}});
}

int MemoryLogon::InstallCert(const std::string& name, X509* cert, bool confirm) {
    std::vector<unsigned char> der = logon::CertToDer(cert);
    if (name.empty() || name.size() >= kLogonCertNameCap || der.empty()) return 0;
    // A user ID names that user's own certificate (replaced here, as tests need); another
    // user's key text must not become the name of someone else's certificate.
    if (!FindUser(name) && KeyTextTaken({}, name)) return 0;
    Cert& entry = certs_[Fold(name)];
    if (entry.record.name.empty()) {
        entry.record.name = name;
        const User* owner = FindUser(name);
        entry.record.userNumber = owner ? owner->number : 0;
    }
    entry.record.subjectName = logon::CertSubjectName(cert);
    entry.record.email = logon::CertEmail(cert);
    entry.record.der = std::move(der);
    if (confirm) entry.confirmed = logon::CertFingerprint(entry.record.der);
    return 1;
}

int MemoryLogon::ConfirmCert(const std::string& name) {
    auto it = certs_.find(Fold(name));
    if (it == certs_.end()) return 0;
    it->second.confirmed = logon::CertFingerprint(it->second.record.der);
    return 1;
}

void MemoryLogon::SetStoreAvailable(LogonStoreKind kind, bool available) {
    if (available) {
        unavailable_.erase(kind);
    } else {
        unavailable_.insert(kind);
    }
}

// ---- Lookups

const MemoryLogon::User* MemoryLogon::FindUser(std::string_view userId) const {
    for (const auto& user : users_) {
        if (LogonEqualNoCase(user.id, userId)) return &user;
    }
    return nullptr;
}

const MemoryLogon::User* MemoryLogon::FindUser(int32_t number) const {
    for (const auto& user : users_) {
        if (user.number == number) return &user;
    }
    return nullptr;
}

// A user named by user ID / certificate name / identity, shared key name or key text.
const MemoryLogon::User* MemoryLogon::ResolveUser(std::string_view text) const {
    std::string trimmed = LogonTrim(text);
    if (const User* user = FindUser(UserIdOfIdentity(trimmed))) return user;
    std::string id;
    if (UserIdOfSharedKeyName(trimmed, id)) return FindUser(id);
    for (const auto& user : users_) {
        if (LogonEqualNoCase(KeyTextOf(user.name, user.email), trimmed)) return &user;
    }
    return nullptr;
}

const MemoryLogon::Cert* MemoryLogon::FindCert(std::string_view name) const {
    auto it = certs_.find(Fold(LogonTrim(name)));
    return it == certs_.end() ? nullptr : &it->second;
}

// A certificate named by any text naming a registered user, else by its name, else by its
// key text: users come first, as in the logon store.
const MemoryLogon::Cert* MemoryLogon::ResolveCert(std::string_view text) const {
    if (const User* user = ResolveUser(text)) return FindCert(CertificateNameOf(user->id));
    if (const Cert* cert = FindCert(text)) return cert;
    std::string trimmed = LogonTrim(text);
    for (const auto& [folded, cert] : certs_) {
        if (LogonEqualNoCase(KeyTextOf(cert.record.subjectName, cert.record.email), trimmed)) {
            return &cert;
        }
    }
    return nullptr;
}

// The logon store's rule (LogonStore::KeyTextClash): a new user's key text must not be
// another user's key text nor answer for an installed certificate, and a new certificate
// name must not be a user's key text.
bool MemoryLogon::KeyTextTaken(std::string_view keyText, std::string_view certName) const {
    for (const auto& user : users_) {
        std::string text = KeyTextOf(user.name, user.email);
        if ((!certName.empty() && LogonEqualNoCase(text, certName)) ||
            (!keyText.empty() && LogonEqualNoCase(text, keyText))) {
            return true;
        }
    }
    if (keyText.empty()) return false;
    for (const auto& [folded, cert] : certs_) {
        const Lumo_PubCert& r = cert.record;
        if (LogonEqualNoCase(r.name, keyText) ||
            (r.userNumber == 0 && LogonEqualNoCase(KeyTextOf(r.subjectName, r.email), keyText))) {
            return true;
        }
    }
    return false;
}

bool MemoryLogon::PasswordOk(const User& user, const char* password, int length) const {
    return password != nullptr && length >= 0 &&
           logon::CheckPasswordVerifier(user.verifier, password, static_cast<size_t>(length));
}

void MemoryLogon::FillRecords(const User& user, LogonKeyRecord& key, LogonUserRecord& rec) const {
    FillLogonUserRecords(user.id, user.name, user.email, user.number, user.type, key, rec);
}

// ---- Settings and paths

std::string MemoryLogon::GetOption(const std::string& section, const std::string& key, const std::string& dflt) {
    auto it = options_.find(OptionKey(section, key));
    return it == options_.end() ? dflt : it->second;
}

int MemoryLogon::FileExists(const std::string& path) {
    if (path.rfind(kVirtualCertPrefix, 0) == 0) {
        std::string name = path.substr(kVirtualCertPrefix.size());
        return name.size() > 4 && FindCert(name.substr(0, name.size() - 4)) ? 1 : 0;
    }
    return IsExistingFile(path) ? 1 : 0;
}

int MemoryLogon::FolderExists(const std::string& path) { return IsExistingFolder(path) ? 1 : 0; }
int MemoryLogon::MakeFolder(const std::string& path) { return MakeFolders(path) ? 1 : 0; }
int MemoryLogon::RemoveFile(const std::string& path) { return RemoveRegularFile(path) ? 1 : 0; }
uint32_t MemoryLogon::GetFileSize(const std::string& path) { return FileSize32(path); }

void MemoryLogon::SplitName(const std::string& path, std::string& out) { out = LogonSplitName(path); }
void MemoryLogon::SplitFolder(const std::string& path, std::string& out) { out = LogonSplitFolder(path); }
void MemoryLogon::SplitExt(const std::string& path, std::string& out) { out = LogonSplitExt(path); }

// ---- Session

int MemoryLogon::IsLoggedOn() { return session_.empty() ? 0 : 1; }
int MemoryLogon::IsDevicePresent() { return devicePresent_ ? 1 : 0; }

int MemoryLogon::GetUserType() {
    const User* user = FindUser(session_);
    return user ? user->type : kLogonSoftwareKey;
}

int MemoryLogon::GetLogonUser(std::string& userId, std::string& password, int& type) {
    const User* user = FindUser(session_);
    if (!user) return 0;
    userId = user->id;
    password = sessionPassword_;
    type = user->type;
    return 1;
}

int MemoryLogon::CheckPassword(const std::string& userId, const char* password, int passwordLength, int /*kind*/) {
    const User* user = FindUser(userId);
    return user && PasswordOk(*user, password, passwordLength) ? 1 : 0;
}

int MemoryLogon::CheckIsaCardUser() { return isaCardState_; }

// ---- Keys and signing

int MemoryLogon::GetPrivateKey(EVP_PKEY** key, const std::string& userId, const char* password, int passwordLength,
                               int& type) {
    if (key == nullptr) return kPrivateKeyUnreadable;
    *key = nullptr;
    const User* user = FindUser(userId);
    if (!user) return kPrivateKeyUnknownUser;
    type = user->type;
    if (user->type == kLogonKeyDevice && !devicePresent_) return kPrivateKeyDeviceAbsent;
    if (!PasswordOk(*user, password, passwordLength)) return kPrivateKeyBadPassword;
    logon::PkeyPtr opened = logon::ImportPrivateKeyPem(user->keyPem, password, static_cast<size_t>(passwordLength));
    if (!opened) return kPrivateKeyUnreadable;
    *key = opened.release();
    return kPrivateKeyOk;
}

int MemoryLogon::GetSignerCert(const std::string& signerId, int /*kind*/, EVP_PKEY** key, X509** cert) {
    const Cert* found = ResolveCert(signerId);
    if (!found || key == nullptr || cert == nullptr) return 0;
    logon::X509Ptr x509 = logon::CertFromDer(found->record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(x509.get());
    if (!x509 || !pub) return 0;
    *key = pub.release();
    *cert = x509.release();
    return 1;
}

int MemoryLogon::GetSignerType(const std::string& signerId, int /*kind*/) {
    const Cert* cert = ResolveCert(signerId);
    const User* user = cert ? FindUser(cert->record.userNumber) : nullptr;
    return user ? user->type : kLogonSoftwareKey;
}

// The device signs for the logged-on user only: it was unlocked with that user's password.
int MemoryLogon::DeviceSign(const std::string& userId, const unsigned char* digest, int digestLength,
                            unsigned char* signature, int* signatureLength) {
    const User* user = session_.empty() ? nullptr : FindUser(session_);
    if (!user || !LogonEqualNoCase(user->id, LogonTrim(userId)) || !user->deviceKey || !devicePresent_ ||
        digest == nullptr || signature == nullptr || signatureLength == nullptr ||
        digestLength != static_cast<int>(kLogonDigestLength)) {
        return 0;
    }
    int n = logon::SignSha1Digest(user->deviceKey.get(), digest, kLogonDigestLength, signature, kLogonSignatureCap);
    if (n <= 0) return 0;
    *signatureLength = n;
    return 1;
}

int MemoryLogon::DeviceVerify(const std::string& signerId, int /*kind*/, const unsigned char* signature,
                              int signatureLength, const unsigned char* digest, int digestLength) {
    const Cert* cert = ResolveCert(signerId);
    if (!cert || signatureLength <= 0 || digestLength != static_cast<int>(kLogonDigestLength)) {
        return 0;
    }
    logon::X509Ptr x509 = logon::CertFromDer(cert->record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(x509.get());
    return logon::VerifySha1Digest(pub.get(), digest, kLogonDigestLength, signature,
                                   static_cast<size_t>(signatureLength))
               ? 1
               : 0;
}

// ---- Users and certificates

int MemoryLogon::GetUserRecords(LogonKeyRecord& key, LogonUserRecord& user, const std::string& userId) {
    const User* found = FindUser(userId);
    if (!found) return 0;
    FillRecords(*found, key, user);
    return 1;
}

int MemoryLogon::GetUserRecordByNumber(LogonKeyRecord& key, LogonUserRecord& user, int32_t number) {
    const User* found = FindUser(number);
    if (!found) return 0;
    FillRecords(*found, key, user);
    return 1;
}

int MemoryLogon::GetCertRecordByNumber(int32_t number, Lumo_PubCert& out) {
    const User* user = FindUser(number);
    const Cert* cert = user ? FindCert(CertificateNameOf(user->id)) : nullptr;
    if (!cert) return 0;
    out = cert->record;
    return 1;
}

int MemoryLogon::GetCertFilePath(const std::string& certName, std::string& path) {
    const Cert* cert = FindCert(certName);
    if (!cert) return 0;
    if (certFolder_.empty()) {
        path = std::string(kVirtualCertPrefix) + cert->record.name + ".pem";
        return 1;
    }
    std::string folder = certFolder_;
    if (folder.back() != '/') folder += '/';
    path = folder + cert->record.name + ".pem";
    logon::X509Ptr x509 = logon::CertFromDer(cert->record.der);
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << logon::CertToPem(x509.get());
    return out.good() ? 1 : 0;
}

int MemoryLogon::ReadCertFile(const std::string& path, LogonCertFileRecord& out) {
    if (path.rfind(kVirtualCertPrefix, 0) == 0) {
        std::string name = path.substr(kVirtualCertPrefix.size());
        const Cert* cert = name.size() > 4 ? FindCert(name.substr(0, name.size() - 4)) : nullptr;
        if (!cert) return 0;
        out.name = cert->record.subjectName;
        out.email = cert->record.email;
        return 1;
    }
    logon::X509Ptr cert = logon::ReadCertificateFile(path);
    if (!cert) return 0;
    out.name = logon::CertSubjectName(cert.get());
    out.email = logon::CertEmail(cert.get());
    return 1;
}

int MemoryLogon::IsMailAddressUsable(const std::string& email) {
    std::string trimmed = LogonTrim(email);
    return logon::MailAddressWellFormed(trimmed) && refusedMail_.count(trimmed) == 0 ? 1 : 0;
}

int MemoryLogon::GetSignerName(const std::string& userId, std::string& out) {
    const User* user = FindUser(userId);
    if (!user) return 0;
    out = KeyTextOf(user->name, user->email);
    return 1;
}

int MemoryLogon::GetOwnCertFile(std::string& path) {
    return session_.empty() ? 0 : GetCertFilePath(CertificateNameOf(session_), path);
}

// ---- Session keys

int MemoryLogon::Wrap(const Cert* cert, int length, const unsigned char* in, unsigned char* out) const {
    if (!cert || length <= 0 || in == nullptr || out == nullptr) return -1;
    logon::X509Ptr x509 = logon::CertFromDer(cert->record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(x509.get());
    return logon::WrapWithPublicKey(pub.get(), in, static_cast<size_t>(length), out, kLogonWrapOutCap);
}

int MemoryLogon::WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out, int32_t userNumber) {
    const User* user = FindUser(userNumber);
    return Wrap(user ? FindCert(CertificateNameOf(user->id)) : nullptr, length, keyThenIv, out);
}

int MemoryLogon::WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out,
                                const Lumo_PubCert& recipient) {
    return Wrap(FindCert(recipient.name), length, keyThenIv, out);
}

int MemoryLogon::UnwrapSessionKey(int wrappedLength, const unsigned char* wrapped, unsigned char* out,
                                  const std::string& userId, const std::string& recipientKeyText, int kind,
                                  const char* password, int passwordLength) {
    if (wrappedLength <= 0 || wrapped == nullptr || out == nullptr) return -1;
    if (!CheckRecipientAccess(userId, recipientKeyText, kind, password, passwordLength)) {
        return -1;
    }
    const User* user = FindUser(userId);
    if (user->type == kLogonKeyDevice && !devicePresent_) return -1;
    logon::PkeyPtr key = logon::ImportPrivateKeyPem(user->keyPem, password, static_cast<size_t>(passwordLength));
    if (!key) return -1;
    return logon::UnwrapWithPrivateKey(key.get(), wrapped, static_cast<size_t>(wrappedLength), out, kLogonWrapOutCap);
}

int MemoryLogon::CheckRecipientAccess(const std::string& userId, const std::string& recipientText, int /*kind*/,
                                      const char* password, int passwordLength) {
    const User* user = FindUser(userId);
    const Cert* named = ResolveCert(recipientText);
    return user && named && named->record.userNumber == user->number && PasswordOk(*user, password, passwordLength) ? 1
                                                                                                                    : 0;
}

int MemoryLogon::GetPrivateKeyIndex(Lumo_PrivateKey& out, std::string& userName) {
    const User* user = FindUser(session_);
    if (!user) return 0;
    out.keyNumber = user->number;
    out.name = CertificateNameOf(user->id);
    userName = user->id;
    return 1;
}

std::string MemoryLogon::MapRecipientKeyText(const std::string& text, int /*mode*/) {
    const Cert* cert = ResolveCert(text);
    return cert ? cert->record.name : LogonTrim(text);
}

std::string MemoryLogon::GetSenderIdentity(const std::string& userId, char kind) {
    return SenderIdentityOf(userId, kind);
}

// ---- Mail, lists, output

int MemoryLogon::GetMailFolder(std::string& folder) {
    if (mailFolder_.empty()) return 0;
    folder = mailFolder_;
    if (folder.back() != '/') folder += '/';
    return 1;
}

int MemoryLogon::CountListItems(const std::string& list) { return CountLogonListItems(list); }

int MemoryLogon::GetListItem(const std::string& list, int index, std::string& out) {
    return LogonListItem(list, index, out) ? 1 : 0;
}

int MemoryLogon::QueryOutputFolder(const std::string& /*folder*/) { return outputFolderAnswer_; }
void MemoryLogon::BeginOutput() { ++beginOutputs_; }
void MemoryLogon::EndOutput() { ++endOutputs_; }

int MemoryLogon::OpenResult(const std::string& path) {
    opened_.push_back(path);
    return openResultAnswer_;
}

// ---- Stores

int MemoryLogon::OpenStore(LogonStoreKind kind) { return unavailable_.count(kind) ? 0 : 1; }

int MemoryLogon::ReadPubCerts(std::vector<Lumo_PubCert>& out) {
    out.clear();
    for (const auto& [folded, cert] : certs_) out.push_back(cert.record);
    return 1;
}

// Confirmations belong to the suite, not to one owner: whoever confirmed a certificate
// last vouches for it for everyone.
int MemoryLogon::VerifyPubCert(const Lumo_PubCert& cert, const std::string& /*ownerId*/) {
    const Cert* found = FindCert(cert.name);
    if (!found) return kCertUnknown;
    if (found->confirmed.empty()) return kCertNeverConfirmed;
    return found->confirmed == logon::CertFingerprint(found->record.der) ? kCertConfirmed : kCertModified;
}

int MemoryLogon::ReadGroup(int32_t groupId, Lumo_Group& out) {
    for (const auto& group : groups_) {
        if (group.id == groupId) {
            out = group;
            return 1;
        }
    }
    return 0;
}

// A shared folder's decryptors are the same whoever asks.
int MemoryLogon::ReadDecryptMen(const std::string& /*ownerId*/, const std::string& sharePath, Insure_Decrypt_Men& out) {
    for (const auto& share : shares_) {
        if (ShareKey(share.path) == ShareKey(sharePath)) {
            out = share;
            return 1;
        }
    }
    return 0;
}
