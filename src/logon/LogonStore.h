#pragma once
// The suite's logon library on disk. One suite folder holds:
//   logon.db   SQLite: users with their key records, installed certificates with their
//              confirmations, groups, authorised decryptors per share path, settings
//   certs/     one PEM file per installed certificate, "<certificate name>.pem"; the
//              database is the truth and a missing or stale file is written again when
//              its path is asked for
//   mail/      the mail working folder
// Files are created 0600 and folders 0700. A user's private key is kept only as PKCS#8
// PEM encrypted under the user's password: in the database for software-key users, on
// the key device (see KeyDevice.h) for key-device users. Passwords are checked against
// a salted PBKDF2 verifier; the logged-on user's password is kept in memory only, and
// wiped at log-off.
//
// Every change is one transaction, so a process killed half-way leaves the store as it
// was before or after; two processes on one store wait for each other. The ILogon
// operations never show a message (the engine shows its own for every failure they
// report); the administration calls below answer false or 0 and leave a clear error
// text in LastError().

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "logon/ILogon.h"
#include "logon/KeyDevice.h"
#include "logon/LogonDatabase.h"
#include "logon/LogonStoreRules.h"
#include "platform/Secret.h"

// One registered user as the administration lists it.
struct LogonUserInfo {
    LogonUserRecord record;
    std::string device;      // the key device of a key-device user: its folder or pkcs11: URI
    std::string tokenLabel;  // the label of the token a token user's key is on; else empty
};

// One installed certificate with its confirmation state (a kCert* answer).
struct LogonCertInfo {
    Lumo_PubCert record;
    int state = kCertUnknown;
    std::string fingerprint;  // SHA-256 of the DER form, hex
    std::string source;       // where a certificate taken from elsewhere came from; empty if imported
};

class LogonStore : public ILogon {
public:
    // cost lowers the key derivation of new verifiers and keys (tests); the default is the
    // production cost. Existing ones keep the cost they were made with, except that those of
    // the earlier, cheaper form are made again at log-on (see LogOn).
    explicit LogonStore(const logon::KeyCost& cost = {});
    ~LogonStore() override;
    LogonStore(const LogonStore&) = delete;
    LogonStore& operator=(const LogonStore&) = delete;

    // ---- The store
    // Opens the store of the suite folder home, creating the folder and a fresh store
    // when missing. Opening an open store closes it first.
    bool Open(const std::string& home);
    void Close();
    bool IsOpen() const { return m_db.IsOpen(); }
    const std::string& Home() const { return m_home; }
    std::string DatabasePath() const;
    std::string CertFolder() const;
    const std::string& LastError() const { return m_error; }
    bool CheckIntegrity();

    // ---- Users
    // A new user with a fresh RSA key pair and a self-signed certificate, installed and
    // confirmed under the user's certificate name. A non-empty deviceFolder makes a
    // key-device user whose key is written to that folder. The user number, or 0.
    int32_t AddUser(const std::string& userId, const std::string& name, const std::string& email,
                    std::string_view password, const std::string& deviceFolder = {});
    // Removes the user, the certificate and every group membership and share grant of
    // the user, and erases a key-device user's key file from the device. A key file that
    // cannot be erased (the medium is read-only, say) is named in *leftBehind; the user is
    // removed all the same.
    bool RemoveUser(const std::string& userId, std::string* leftBehind = nullptr);
    bool ChangePassword(const std::string& userId, std::string_view oldPassword, std::string_view newPassword);
    bool ListUsers(std::vector<LogonUserInfo>& out);
    // The user to log on as when none is named: the only user, else the setting
    // "LastUser" of section "Option" when it names a user.
    bool DefaultUser(std::string& userId);

    // ---- A user's certificate and key from elsewhere (LogonStoreOwnCerts.cpp)
    // A PKCS#10 request (PEM) for the user's key and the subject of the user's certificate,
    // asking for the extensions of a user's certificate; the key is opened with password.
    bool RequestCert(const std::string& userId, std::string_view password, std::string& pem);
    // Makes the certificate a CA issued for the user's key (the file: PEM, DER or PKCS#7) the
    // user's certificate, confirmed, with the issuers that came with it. Refused when the file
    // holds no certificate of the user's key, or that certificate is unfit for a user
    // (CertProfile.h) or names another e-mail address than the user's.
    bool InstallUserCert(const std::string& userId, const std::string& path);
    // A new software-key user from a PKCS#12 file (opened with filePassword): its key, stored
    // under password as the store stores the keys it makes, and its end-entity certificate,
    // which names the user (CN) and the address. The user number, or 0.
    int32_t ImportUser(const std::string& userId, const std::string& path, std::string_view filePassword,
                       std::string_view password);

    // ---- Session
    // Whether and when the caller will use the user's private key (to sign, to open envelopes).
    // With openKey (a command that signs or opens envelopes), the user's key is opened and kept
    // for the session: a stored key is opened at once, on both cores, and its opening proves the
    // password in place of the check. Where the check is still made (a key that does not open,
    // or one resealed at a new cost), the key is opened after it, behind, on a thread of its own.
    bool LogOn(const std::string& userId, std::string_view password, bool openKey = false);
    void LogOff();

    // ---- Certificates of other people
    // Installs the certificate file at path under name, or under the name it holds when
    // name is empty. The file is PEM, DER or a PKCS#7 bundle; of several certificates the one
    // person's (not a CA's) is taken, with the issuers that came with it. Replacing a
    // certificate keeps its old confirmation, so the change is reported until it is
    // confirmed again.
    // replace: a certificate of another key installed under the same name gives way (its
    // confirmation stays, so the change shows until it is confirmed again); otherwise refused.
    bool ImportCert(const std::string& path, const std::string& name, std::string& installedName, bool replace = false);
    // The certificate a text names, as PEM, or as DER when der is set.
    bool ExportCert(const std::string& name, std::string& out, bool der = false);
    bool ConfirmCert(const std::string& name);
    bool ListCerts(std::vector<LogonCertInfo>& out);
    // A certificate from elsewhere (the organisation's directory) that the person at the
    // keyboard confirmed by its fingerprint: installed under name and confirmed in one
    // transaction, with its source. A certificate cached earlier under name is replaced; a
    // registered user's never is.
    bool CacheConfirmedCert(const std::string& name, const std::vector<unsigned char>& der, const std::string& source);
    // How a recipient named by text stands: kCertConfirmed for a registered user, else the state
    // of the installed certificate it names (its DER in *der), kCertUnknown when none.
    int RecipientState(const std::string& text, std::vector<unsigned char>* der = nullptr);

    // ---- Groups and shares
    int32_t AddGroup(const std::string& name);   // the group identifier, or 0
    int32_t FindGroup(const std::string& name);  // 0 = no such group
    // Appends the users to the group in the order given; members already in it stay
    // where they are. Nothing changes when any user is unknown.
    bool AddGroupMembers(const std::string& group, const std::vector<std::string>& userIds);
    bool ListGroups(std::vector<Lumo_Group>& out);
    // Adds authorised decryptors to a share path (users by number, groups by identifier).
    bool GrantShare(const std::string& path, const std::vector<DecryptMan>& entries);
    bool ListShares(std::vector<Insure_Decrypt_Men>& out);

    // ---- Settings
    bool SetOption(const std::string& section, const std::string& key, const std::string& value);
    // Several keys of one section in one transaction.
    bool SetOptions(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values);

    // ---- ILogon
    std::string GetOption(const std::string& section, const std::string& key, const std::string& dflt) override;
    int FileExists(const std::string& path) override;
    int FolderExists(const std::string& path) override;
    int MakeFolder(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    uint32_t GetFileSize(const std::string& path) override;
    void SplitName(const std::string& path, std::string& out) override;
    void SplitFolder(const std::string& path, std::string& out) override;
    void SplitExt(const std::string& path, std::string& out) override;

    int IsLoggedOn() override;
    int IsDevicePresent() override;
    int GetUserType() override;
    int GetLogonUser(std::string& userId, SecretText& password, int& type) override;
    int CheckPassword(const std::string& userId, const char* password, int passwordLength, int kind) override;
    int CheckIsaCardUser() override;

    int GetPrivateKey(EVP_PKEY** key, const std::string& userId, const char* password, int passwordLength,
                      int& type) override;
    int GetSignerCert(const std::string& signerId, int kind, EVP_PKEY** key, X509** cert) override;
    // The certificate installed for a user or under a name, as GetSignerCert finds it; null
    // when there is none.
    X509Ptr InstalledCert(const std::string& name);
    int GetSignerType(const std::string& signerId, int kind) override;
    int DeviceSign(const std::string& userId, const unsigned char* digest, int digestLength, unsigned char* signature,
                   int* signatureLength) override;
    int DeviceVerify(const std::string& signerId, int kind, const unsigned char* signature, int signatureLength,
                     const unsigned char* digest, int digestLength) override;

    int GetUserRecords(LogonKeyRecord& key, LogonUserRecord& user, const std::string& userId) override;
    int GetUserRecordByNumber(LogonKeyRecord& key, LogonUserRecord& user, int32_t number) override;
    int GetCertRecordByNumber(int32_t number, Lumo_PubCert& out) override;
    int GetCertFilePath(const std::string& certName, std::string& path) override;
    int ReadCertFile(const std::string& path, LogonCertFileRecord& out) override;
    int IsMailAddressUsable(const std::string& email) override;
    int GetSignerName(const std::string& userId, std::string& out) override;
    int GetOwnCertFile(std::string& path) override;

    int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out, int32_t userNumber) override;
    int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out,
                       const Lumo_PubCert& recipient) override;
    int UnwrapSessionKey(int wrappedLength, const unsigned char* wrapped, unsigned char* out, const std::string& userId,
                         const std::string& recipientKeyText, int kind, const char* password,
                         int passwordLength) override;
    int CheckRecipientAccess(const std::string& userId, const std::string& recipientText, int kind,
                             const char* password, int passwordLength) override;
    int GetPrivateKeyIndex(Lumo_PrivateKey& out, std::string& userName) override;
    std::string MapRecipientKeyText(const std::string& text, int mode) override;
    std::string GetSenderIdentity(const std::string& userId, char kind) override;

    int GetMailFolder(std::string& folder) override;
    int CountListItems(const std::string& list) override;
    int GetListItem(const std::string& list, int index, std::string& out) override;
    int QueryOutputFolder(const std::string& folder) override;
    void BeginOutput() override;
    void EndOutput() override;
    int OpenResult(const std::string& path) override;

    int OpenStore(LogonStoreKind kind) override;
    int ReadPubCerts(std::vector<Lumo_PubCert>& out) override;
    int VerifyPubCert(const Lumo_PubCert& cert, const std::string& ownerId) override;
    int ReadGroup(int32_t groupId, Lumo_Group& out) override;
    int ReadDecryptMen(const std::string& ownerId, const std::string& sharePath, Insure_Decrypt_Men& out) override;

protected:
    // The key pair of a new user: a fresh RSA key. A test store hands out keys made once per
    // process instead, since generating one costs far more than anything else a test does.
    virtual logon::PkeyPtr NewKeyPair(const std::string& userId);

private:
    struct UserRow {
        int32_t number = 0;
        std::string id, name, email;
        int type = kLogonSoftwareKey;
        std::string verifier;
        std::string keyPem;  // encrypted PKCS#8; empty for key-device users
        std::string device;
        std::string tokenLabel;
    };
    struct CertRow {
        Lumo_PubCert record;
        std::vector<unsigned char> confirmed;  // fingerprint when last confirmed, empty if never
        std::vector<unsigned char> chain;      // the issuers' certificates, DER one after another
        std::string source;
    };

    bool Fail(std::string text);
    // Users (LogonStoreUsers.cpp)
    bool FindUser(std::string_view userId, UserRow& out);
    bool FindUser(int32_t number, UserRow& out);
    bool ReadUsers(std::vector<UserRow>& out);
    bool ResolveUser(std::string_view text, UserRow& out);
    bool PasswordOk(const UserRow& user, const char* password, int length) const;
    // Whether key is the one of the user's own certificate.
    bool KeyIsOwn(const UserRow& user, EVP_PKEY* key);
    bool SessionUser(UserRow& out);
    logon::PkeyPtr OpenPrivateKey(const UserRow& user, const char* password, size_t length);
    void RaiseKeyCost(const UserRow& user, std::string_view password);
    // Why a new user or certificate may not take these texts, or empty (see the .cpp).
    std::string KeyTextClash(std::string_view keyText, std::string_view certName);
    std::string RegistrationClash(const std::string& userId, const std::string& name, const std::string& email);
    // Stores a new user with its key pair and certificate, made here or brought from
    // elsewhere, in one transaction; the key protected as every key of the store (on the key
    // device when deviceFolder is given); the certificate and its issuers' chain installed and
    // confirmed. The user number, or 0.
    int32_t StoreNewUser(const std::string& userId, const std::string& name, const std::string& email,
                         std::string_view password, EVP_PKEY* key, X509* cert, const std::vector<unsigned char>& chain,
                         const std::string& deviceFolder);
    // Certificates (LogonStoreCerts.cpp)
    bool FindCert(std::string_view name, CertRow& out);
    bool FindOwnCert(const std::string& userId, UserRow& user, CertRow& cert);
    bool ResolveCert(std::string_view text, CertRow& out);
    bool ReadCerts(std::vector<CertRow>& out);
    // The certificate's file in certs/: the certificate, then its issuers.
    bool WriteCertFile(const Lumo_PubCert& cert, const std::vector<unsigned char>& chain = {});
    // The bytes of a certificate, request or PKCS#12 file; false (with the reason) when it
    // cannot be read or is larger than cap.
    bool ReadInputFile(const std::string& path, size_t cap, std::vector<unsigned char>& bytes);
    std::string CertFilePath(const std::string& name) const;
    int Wrap(const CertRow* cert, int length, const unsigned char* in, unsigned char* out);

    logon::KeyCost m_cost;
    logon::Database m_db;
    std::string m_home;
    std::string m_error;
    std::string m_sessionUser;  // logged-on user ID, empty when nobody
    SecretText m_sessionPassword;
    std::string m_sessionVerifier;  // the stored verifier the session's password was checked against
    logon::KeptKey m_keptKey;       // the session user's key, opened once (see KeptKey.h)
    // The public key of the certificate wrapped for last: a batch wraps every package's
    // session key for the same few people, and reading the key from the DER each time cost
    // more than the wrap itself.
    std::vector<unsigned char> m_wrapCertDer;
    logon::PkeyPtr m_wrapKey;
    int m_outputDepth = 0;
};
