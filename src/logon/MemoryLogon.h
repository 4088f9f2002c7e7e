#pragma once
// The logon library kept entirely in memory, for tests: settings, users with real RSA
// keys and certificates, one logged-on session, groups, shared-folder decryptors,
// installed certificates with their confirmations, a simulated key device, the mail
// folder and the answers of the output-folder and open queries.
//
// Path helpers work on the real file system, so the engine's walks see real files.
// Certificate files are virtual ("memory:/certs/<name>.pem", known only to this
// object's FileExists and ReadCertFile) unless SetCertFolder names a folder, where they
// are written as PEM when asked for.

#include "logon/ILogon.h"
#include "logon/LogonKeys.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class MemoryLogon : public ILogon {
public:
    // passwordIterations lowers the PBKDF2 cost for tests; 0 = the production count.
    explicit MemoryLogon(uint32_t passwordIterations = 0);

    // ---- Setting up (tests)
    // A new user with a fresh key pair and a self-signed certificate (name, e-mail),
    // installed and confirmed under the user's certificate name. type 0 software key,
    // 1 key device. The user number (> 0), or 0 when the ID or the key text is taken (as
    // the logon store refuses them) or a text too long.
    int32_t AddUser(const std::string& userId, const std::string& name, const std::string& email,
                    const std::string& password, int type = kLogonSoftwareKey);
    void SetOption(const std::string& section, const std::string& key, const std::string& value);
    int LogOn(const std::string& userId, const std::string& password);  // 1 = logged on
    void LogOff();
    int32_t AddGroup(const std::string& name, const std::vector<int32_t>& members);
    void GrantShare(const std::string& path, uint8_t type, int32_t id);
    // Installs (or replaces) a certificate under name; confirm records it as checked. A
    // user ID as name replaces that user's own certificate; another user's key text as name
    // is refused (0).
    int InstallCert(const std::string& name, X509* cert, bool confirm = true);
    int ConfirmCert(const std::string& name);
    void SetDevicePresent(bool present) { devicePresent_ = present; }
    void SetMailFolder(const std::string& folder) { mailFolder_ = folder; }
    void SetCertFolder(const std::string& folder) { certFolder_ = folder; }
    void SetIsaCardState(int state) { isaCardState_ = state; }
    void SetOutputFolderAnswer(int answer) { outputFolderAnswer_ = answer; }
    void SetOpenResultAnswer(int answer) { openResultAnswer_ = answer; }
    void RefuseMailAddress(const std::string& email) { refusedMail_.insert(email); }
    void SetStoreAvailable(LogonStoreKind kind, bool available);

    // ---- What callers did (tests)
    const std::vector<std::string>& OpenedResults() const { return opened_; }
    int BeginOutputCalls() const { return beginOutputs_; }
    int EndOutputCalls() const { return endOutputs_; }

    // ---- ILogon
    std::string GetOption(const std::string& section, const std::string& key,
                          const std::string& dflt) override;
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
    int GetLogonUser(std::string& userId, std::string& password, int& type) override;
    int CheckPassword(const std::string& userId, const char* password, int passwordLength,
                      int kind) override;
    int CheckIsaCardUser() override;

    int GetPrivateKey(EVP_PKEY** key, const std::string& userId, const char* password,
                      int passwordLength, int& type) override;
    int GetSignerCert(const std::string& signerId, int kind, EVP_PKEY** key,
                      X509** cert) override;
    int GetSignerType(const std::string& signerId, int kind) override;
    int DeviceSign(const std::string& userId, const unsigned char* digest, int digestLength,
                   unsigned char* signature, int* signatureLength) override;
    int DeviceVerify(const std::string& signerId, int kind, const unsigned char* signature,
                     int signatureLength, const unsigned char* digest,
                     int digestLength) override;

    int GetUserRecords(LogonKeyRecord& key, LogonUserRecord& user,
                       const std::string& userId) override;
    int GetUserRecordByNumber(LogonKeyRecord& key, LogonUserRecord& user,
                              int32_t number) override;
    int GetCertRecordByNumber(int32_t number, Lumo_PubCert& out) override;
    int GetCertFilePath(const std::string& certName, std::string& path) override;
    int ReadCertFile(const std::string& path, LogonCertFileRecord& out) override;
    int IsMailAddressUsable(const std::string& email) override;
    int GetSignerName(const std::string& userId, std::string& out) override;
    int GetOwnCertFile(std::string& path) override;

    int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out,
                       int32_t userNumber) override;
    int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out,
                       const Lumo_PubCert& recipient) override;
    int UnwrapSessionKey(int wrappedLength, const unsigned char* wrapped, unsigned char* out,
                         const std::string& userId, const std::string& recipientKeyText,
                         int kind, const char* password, int passwordLength) override;
    int CheckRecipientAccess(const std::string& userId, const std::string& recipientText,
                             int kind, const char* password, int passwordLength) override;
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
    int ReadDecryptMen(const std::string& ownerId, const std::string& sharePath,
                       Insure_Decrypt_Men& out) override;

private:
    struct User {
        std::string id, name, email;
        int32_t number = 0;
        int type = kLogonSoftwareKey;
        logon::PasswordVerifier verifier;
        std::string keyPem;          // PKCS#8, encrypted under the password
        logon::PkeyPtr deviceKey;    // the key as the key device holds it (type 1)
    };
    struct Cert {
        Lumo_PubCert record;
        std::vector<unsigned char> confirmed;  // fingerprint when last confirmed
    };

    const User* FindUser(std::string_view userId) const;
    const User* FindUser(int32_t number) const;
    const User* ResolveUser(std::string_view text) const;
    const Cert* FindCert(std::string_view name) const;
    const Cert* ResolveCert(std::string_view text) const;
    bool KeyTextTaken(std::string_view keyText, std::string_view certName) const;
    bool PasswordOk(const User& user, const char* password, int length) const;
    void FillRecords(const User& user, LogonKeyRecord& key, LogonUserRecord& rec) const;
    int Wrap(const Cert* cert, int length, const unsigned char* in, unsigned char* out) const;

    uint32_t iterations_;
    std::map<std::string, std::string> options_;  // "section\nkey", folded
    std::vector<User> users_;
    std::map<std::string, Cert> certs_;           // by folded certificate name
    std::vector<Lumo_Group> groups_;
    std::vector<Insure_Decrypt_Men> shares_;
    std::set<std::string> refusedMail_;
    std::set<LogonStoreKind> unavailable_;
    std::vector<std::string> opened_;
    std::string session_;          // logged-on user ID, empty when nobody
    std::string sessionPassword_;
    std::string mailFolder_, certFolder_;
    bool devicePresent_ = false;
    int isaCardState_ = 0;
    int outputFolderAnswer_ = 0;
    int openResultAnswer_ = 0;
    int beginOutputs_ = 0;
    int endOutputs_ = 0;
};
