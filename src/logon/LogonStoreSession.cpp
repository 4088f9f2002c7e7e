// The session of the logon store: who is logged on, with which password, and whether that
// user's key device is present. The password is kept in memory only and wiped at log-off.

#include <openssl/evp.h>

#include "logon/LogonStore.h"
#include "logon/StoreMessages.h"

namespace {

constexpr const char* kOptionSection = "Option";
constexpr const char* kLastUserKey = "LastUser";

}  // namespace

bool LogonStore::LogOn(const std::string& userId, std::string_view password, bool openKey) {
    LogOff();
    UserRow user;
    if (!FindUser(userId, user)) return Fail(MessageText(msg::logon_store::NoSuchUser, userId));
    // The password check and the key's opening each derive a key from the password, the
    // costliest steps of a command. A command that uses the key opens it at once, on both
    // cores: a key sealed under the password opens under that password only, so its opening
    // proves the password as the check would, and the check is left out. Otherwise (no stored
    // key, or one that does not open) the check comes first and alone, and the key is opened
    // behind, waited for where it is first used. One after the other, the second derivation
    // finds its memory where the first left it: side by side, each would fault in fresh memory
    // of its own, which costs more than the second core gains.
    const bool storedKey = user.type != kLogonKeyDevice && !user.keyPem.empty();
    logon::PkeyPtr opened =
        openKey && storedKey ? m_keptKey.Open(user.keyPem, password.data(), password.size(), true) : nullptr;
    // The key proves the password only as the one of the user's own certificate.
    const bool keyOpened = opened && KeyIsOwn(user, opened.get());
    opened.reset();
    if (!keyOpened) {
        m_keptKey.Forget();
        if (!PasswordOk(user, password.data(), static_cast<int>(password.size())))
            return Fail(MessageText(msg::logon_store::WrongPassword, user.id));
    }
    RaiseKeyCost(user, password);
    m_sessionUser = user.id;
    m_sessionPassword = password;
    // The verifier as it stands after any raise of its cost.
    UserRow now;
    const bool found = FindUser(user.id, now);
    m_sessionVerifier = found ? now.verifier : std::string();
    // A key resealed by the raise is opened anew.
    if (openKey && found && now.type != kLogonKeyDevice && !now.keyPem.empty() &&
        !(keyOpened && now.keyPem == user.keyPem)) {
        m_keptKey.OpenBehind(now.keyPem, password);
    }
    return true;
}

bool LogonStore::KeyIsOwn(const UserRow& user, EVP_PKEY* key) {
    CertRow cert;
    if (!FindCert(CertificateNameOf(user.id), cert)) return false;
    logon::X509Ptr own = logon::CertFromDer(cert.record.der);
    logon::PkeyPtr pub = logon::PublicKeyOf(own.get());
    return pub && EVP_PKEY_eq(pub.get(), key) == 1;
}

void LogonStore::LogOff() {
    m_sessionUser.clear();
    m_sessionPassword.clear();
    m_sessionVerifier.clear();
    m_keptKey.Forget();
}

bool LogonStore::SessionUser(UserRow& out) { return !m_sessionUser.empty() && FindUser(m_sessionUser, out); }

bool LogonStore::DefaultUser(std::string& userId) {
    std::vector<UserRow> users;
    if (!ReadUsers(users)) return false;
    if (users.empty()) return Fail(MessageText(msg::logon_store::NoUsersYet));
    if (users.size() == 1) {
        userId = users.front().id;
        return true;
    }
    std::string last = GetOption(kOptionSection, kLastUserKey, "");
    UserRow user;
    if (!last.empty() && FindUser(last, user)) {
        userId = user.id;
        return true;
    }
    return Fail(MessageText(msg::logon_store::SeveralUsers));
}

int LogonStore::IsLoggedOn() {
    UserRow user;
    return SessionUser(user) ? 1 : 0;
}

int LogonStore::IsDevicePresent() {
    UserRow user;
    if (!SessionUser(user) || user.type != kLogonKeyDevice) return 0;
    return logon::KeyDevices().Open(user.device, user.id)->IsPresent() ? 1 : 0;
}

int LogonStore::GetUserType() {
    UserRow user;
    return SessionUser(user) ? user.type : kLogonSoftwareKey;
}

int LogonStore::GetLogonUser(std::string& userId, SecretText& password, int& type) {
    UserRow user;
    if (!SessionUser(user)) return 0;
    userId = user.id;
    password = m_sessionPassword;
    type = user.type;
    return 1;
}

int LogonStore::CheckPassword(const std::string& userId, const char* password, int passwordLength, int /*kind*/) {
    UserRow user;
    return FindUser(userId, user) && PasswordOk(user, password, passwordLength) ? 1 : 0;
}

// The ISA card is permitted by the setting "IsaCard" of section "Option" (1 or 2).
int LogonStore::CheckIsaCardUser() {
    std::string value = GetOption(kOptionSection, "IsaCard", "0");
    return value == "1" || value == "2" ? value[0] - '0' : 0;
}
