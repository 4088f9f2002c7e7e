#pragma once
// The engine's view of the suite's logon library: settings, path helpers, users,
// passwords, keys, certificates, groups, authorised decryptors and key wrapping.
//
// Every subsystem reaches the library through LogonLibrary(); the embedding
// application (or a test) installs one implementation with InstallLogonLibrary().
// The implementation is LogonStore (SQLite, the suite folder); tests run it in a temporary
// folder.
//
// Results follow the engine's habit: int, where the meaning of 0 is stated per
// operation. Keys and certificates handed out (EVP_PKEY*, X509*) belong to the caller,
// who releases them with EVP_PKEY_free / X509_free. No operation throws.
//
// Texts that writers store in packages and readers resolve again later. They are made
// and parsed only by the functions below, so that writers and readers agree:
//   certificate name   the name under which a user's certificate is installed; for a
//                      registered user it is the user ID (CertificateNameOf). Mail
//                      recipients and kind-2 recipients are recognised by it.
//   shared key name    the sender key name of shared (kind 8) packages:
//                      "share:" + user ID (SharedKeyNameOf / UserIdOfSharedKeyName).
//   key text           the text field of a user's key record and the recipient key text
//                      of envelope packages: "name<e-mail>", or "name" without an
//                      address (KeyTextOf / SplitKeyText). Name and e-mail are the ones
//                      held in the user's certificate.
//   identity text      what GetSenderIdentity makes of a sender's user ID: the user ID
//                      itself, for every kind (SenderIdentityOf / UserIdOfIdentity).
//   signer name        what GetSignerName answers: the user's key text.
// MapRecipientKeyText turns any of these texts (and an installed certificate's name or
// key text) into the certificate name it stands for; GetPrivateKeyIndex answers the
// current user's certificate name in Lumo_PrivateKey::name, so a mapped recipient text
// and the index information compare equal exactly for the recipient's own records.

#include <openssl/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Secret.h"

// ---- Rooms of the texts the engine copies into its fixed-size fields. A store
// never hands out a longer text, so the engine's copies never truncate. Counts include
// the terminating NUL where the engine keeps a char buffer.
inline constexpr size_t kLogonUserIdRoom = 131;       // Encrypt_Data, signature record
inline constexpr size_t kLogonPasswordRoom = 57;      // Encrypt_Data password
inline constexpr size_t kLogonCertNameRoom = 40;      // Decrypt_UserInfo certificate name
inline constexpr size_t kLogonKeyTextRoom = 60;       // recipient key text as readers hold it
inline constexpr size_t kLogonIdentityRoom = 132;     // identity text as readers hold it
inline constexpr size_t kLogonIdentityBuffer = 300;   // buffer the envelope writer prepares
inline constexpr size_t kLogonSignerNameRoom = 200;   // signer name of signature files
inline constexpr size_t kLogonWrapOutRoom = 1000;     // WrapSessionKey / UnwrapSessionKey out
inline constexpr size_t kLogonSignatureRoom = 10240;  // DeviceSign output room
// DeviceSign and UnwrapSessionKey: the key device failed and has said why itself.
inline constexpr int kLogonDeviceSaid = -2;
inline constexpr size_t kLogonDigestLength = 20;    // SHA-1 digest of key-device signing
inline constexpr size_t kLogonMaxRecipients = 200;  // recipients of one shared package
inline constexpr size_t kLogonPathRoom = 260;       // every path the library hands out

// Key types (GetUserType, GetSignerType).
inline constexpr int kLogonSoftwareKey = 0;
inline constexpr int kLogonKeyDevice = 1;

// GetPrivateKey answers (0 = success).
inline constexpr int kPrivateKeyOk = 0;
inline constexpr int kPrivateKeyUnknownUser = 1;
inline constexpr int kPrivateKeyBadPassword = 2;
inline constexpr int kPrivateKeyDeviceAbsent = 3;
inline constexpr int kPrivateKeyUnreadable = 4;
// The password is right, but the key stays on the user's device (a token): it signs through
// DeviceSign and opens session keys through UnwrapSessionKey, and no key handle comes out.
inline constexpr int kPrivateKeyOnDevice = 5;

// VerifyPubCert answers; only kCertModified stops the engine from using a certificate.
inline constexpr int kCertUnknown = 0;
inline constexpr int kCertConfirmed = 1;
inline constexpr int kCertModified = 2;
inline constexpr int kCertNeverConfirmed = 3;

// Insure_Decrypt_Men entry types; other types are ignored by readers.
inline constexpr uint8_t kDecryptManUser = 0;   // id = user number
inline constexpr uint8_t kDecryptManGroup = 1;  // id = group identifier
// A group of the organisation's directory, kept by name and read from the directory each time
// it is used (the engine asks its context's IDirectoryGroups); id = the store's number for the
// name.
inline constexpr uint8_t kDecryptManDirectoryGroup = 2;

// Key record: "the integer at the start" and "the text field" are what callers read.
struct LogonKeyRecord {
    int32_t keyNumber = 0;
    std::string keyText;  // KeyTextOf(certificate name field, e-mail), < kLogonKeyTextRoom
};

// User record.
struct LogonUserRecord {
    int32_t number = 0;         // the user number: names the key that wraps for this user
    std::string certName;       // CertificateNameOf(userId), < kLogonCertNameRoom
    std::string sharedKeyName;  // SharedKeyNameOf(userId)
    std::string userId;
    std::string name;  // display name, the name held in the certificate
    std::string email;
    int type = kLogonSoftwareKey;
};

// Private-key index information of the logged-on user.
struct Lumo_PrivateKey {
    int32_t keyNumber = 0;
    std::string name;  // the user's certificate name: what MapRecipientKeyText yields
};

// One installed public-key certificate.
struct Lumo_PubCert {
    int32_t userNumber = 0;          // the registered user it belongs to, 0 for other people
    std::string name;                // certificate name, < kLogonCertNameRoom
    std::string subjectName;         // the name held in the certificate
    std::string email;               // the e-mail address held in the certificate, may be empty
    std::vector<unsigned char> der;  // the certificate as installed
};

// A certificate file's contents as ReadCertFile answers them.
struct LogonCertFileRecord {
    std::string name;   // the name held in the certificate (first text field)
    std::string email;  // its e-mail address, empty when it holds none
};

// A user group.
struct Lumo_Group {
    int32_t id = 0;
    std::string name;
    std::vector<int32_t> members;  // user numbers, in the order they were added
};

// One authorised decryptor of a shared folder.
struct DecryptMan {
    uint8_t type = kDecryptManUser;
    int32_t id = 0;
    std::string name = {};  // kDecryptManDirectoryGroup: the group's name in the directory
};

// The authorised decryptors of one shared folder.
struct Insure_Decrypt_Men {
    std::string path;
    std::vector<DecryptMan> entries;
};

// The stores behind the store classes; each may be unavailable on its own.
enum class LogonStoreKind { PubCert, SignPubCert, UserGroup, InsureDecryptMen };

class ILogon {
public:
    virtual ~ILogon() = default;

    // ---- Settings and path helpers
    // The value of key in section, or dflt when unset. Section and key ignore case.
    virtual std::string GetOption(const std::string& section, const std::string& key, const std::string& dflt) = 0;
    virtual int FileExists(const std::string& path) = 0;        // non-zero: an existing file
    virtual int FolderExists(const std::string& path) = 0;      // non-zero: an existing folder
    virtual int MakeFolder(const std::string& path) = 0;        // non-zero: exists afterwards
    virtual int RemoveFile(const std::string& path) = 0;        // non-zero: removed
    virtual uint32_t GetFileSize(const std::string& path) = 0;  // low 32 bits, 0 if none
    // "name.ext" / the folder with its trailing separator / the extension without dot.
    virtual void SplitName(const std::string& path, std::string& out) = 0;
    virtual void SplitFolder(const std::string& path, std::string& out) = 0;
    virtual void SplitExt(const std::string& path, std::string& out) = 0;

    // ---- The logged-on user
    virtual int IsLoggedOn() = 0;       // 0 = nobody logged on
    virtual int IsDevicePresent() = 0;  // 0 = no key device
    virtual int GetUserType() = 0;      // the current user's kLogonSoftwareKey / kLogonKeyDevice
    // The current user's ID, password and key type; 0 = nobody logged on.
    virtual int GetLogonUser(std::string& userId, SecretText& password, int& type) = 0;
    // Non-zero when password opens userId's key. kind is the caller's package kind.
    virtual int CheckPassword(const std::string& userId, const char* password, int passwordLength, int kind) = 0;
    virtual int CheckIsaCardUser() = 0;  // 1 or 2 permits the ISA card

    // ---- Keys, signing
    // The user's private key into *key (caller frees); type receives the user's key
    // type. 0 = success, else one of the kPrivateKey* reasons.
    virtual int GetPrivateKey(EVP_PKEY** key, const std::string& userId, const char* password, int passwordLength,
                              int& type) = 0;
    // The signer's public key and certificate (caller frees both); 0 = none installed.
    // signerId is a certificate name, shared key name or signer name; kind is the
    // secured file's kind (2, 4, 8, 16).
    virtual int GetSignerCert(const std::string& signerId, int kind, EVP_PKEY** key, X509** cert) = 0;
    virtual int GetSignerType(const std::string& signerId, int kind) = 0;  // 0 software, 1 device
    // RSA PKCS#1 v1.5 signature over a SHA-1 DigestInfo by the user's key device.
    // signature has room for kLogonSignatureRoom bytes. 0 = failure; kLogonDeviceSaid = the
    // device failed and has shown why (a token's PIN, its removal), so the caller adds nothing.
    virtual int DeviceSign(const std::string& userId, const unsigned char* digest, int digestLength,
                           unsigned char* signature, int* signatureLength) = 0;
    virtual int DeviceVerify(const std::string& signerId, int kind, const unsigned char* signature, int signatureLength,
                             const unsigned char* digest, int digestLength) = 0;  // non-zero valid

    // ---- Users and certificates
    virtual int GetUserRecords(LogonKeyRecord& key, LogonUserRecord& user,
                               const std::string& userId) = 0;  // 0 = unknown
    virtual int GetUserRecordByNumber(LogonKeyRecord& key, LogonUserRecord& user,
                                      int32_t number) = 0;  // 0 = unknown
    // The installed certificate record of a registered user; 0 = none.
    virtual int GetCertRecordByNumber(int32_t number, Lumo_PubCert& out) = 0;
    // The path of the certificate file installed under certName; 0 = no such name.
    virtual int GetCertFilePath(const std::string& certName, std::string& path) = 0;
    // The name and e-mail held in a certificate file; 0 = unreadable.
    virtual int ReadCertFile(const std::string& path, LogonCertFileRecord& out) = 0;
    virtual int IsMailAddressUsable(const std::string& email) = 0;               // 0 = refused
    virtual int GetSignerName(const std::string& userId, std::string& out) = 0;  // 0 = unknown
    virtual int GetOwnCertFile(std::string& path) = 0;                           // the current user's; 0 = none

    // ---- Session keys
    // Encrypts length bytes (session key then IV) for the user with this number into
    // out (room kLogonWrapOutRoom). The wrapped length; <= 0 failure.
    virtual int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out, int32_t userNumber) = 0;
    // The same for the holder of an installed certificate (mail recipients).
    virtual int WrapSessionKey(int length, const unsigned char* keyThenIv, unsigned char* out,
                               const Lumo_PubCert& recipient) = 0;
    // Decrypts a wrapped session key with userId's private key, opened by password.
    // recipientKeyText (key text, mapped key text or certificate name of the recipient
    // record) must stand for that user. out has room kLogonWrapOutRoom. The plain length;
    // <= 0 failure, kLogonDeviceSaid as for DeviceSign.
    virtual int UnwrapSessionKey(int wrappedLength, const unsigned char* wrapped, unsigned char* out,
                                 const std::string& userId, const std::string& recipientKeyText, int kind,
                                 const char* password, int passwordLength) = 0;
    // Non-zero when userId, proven by password, is the recipient named by recipientText.
    virtual int CheckRecipientAccess(const std::string& userId, const std::string& recipientText, int kind,
                                     const char* password, int passwordLength) = 0;
    // The current user's index information and user ID; 0 = failure.
    virtual int GetPrivateKeyIndex(Lumo_PrivateKey& out, std::string& userName) = 0;
    // The certificate name a stored text stands for (see the top of this file); the text
    // itself, trimmed, when it names nobody. mode 1 is the only mode callers use.
    virtual std::string MapRecipientKeyText(const std::string& text, int mode) = 0;
    // The identity text stored in envelope sender records.
    virtual std::string GetSenderIdentity(const std::string& userId, char kind) = 0;

    // ---- Mail, lists, output
    virtual int GetMailFolder(std::string& folder) = 0;  // with separator; 0 = failure
    virtual int CountListItems(const std::string& list) = 0;
    virtual int GetListItem(const std::string& list, int index, std::string& out) = 0;  // 1-based
    // Non-zero: the caller calls BeginOutput before writing into folder, EndOutput after.
    virtual int QueryOutputFolder(const std::string& folder) = 0;
    virtual void BeginOutput() = 0;
    virtual void EndOutput() = 0;
    virtual int OpenResult(const std::string& path) = 0;  // non-zero = handled

    // ---- Store access behind the store classes below
    virtual int OpenStore(LogonStoreKind kind) = 0;  // 0 = unavailable
    virtual int ReadPubCerts(std::vector<Lumo_PubCert>& out) = 0;
    virtual int VerifyPubCert(const Lumo_PubCert& cert, const std::string& ownerId) = 0;
    virtual int ReadGroup(int32_t groupId, Lumo_Group& out) = 0;  // 0 = no such group
    virtual int ReadDecryptMen(const std::string& ownerId, const std::string& sharePath,
                               Insure_Decrypt_Men& out) = 0;  // 0 = no record for the path
};

// ---- Installation point. The library is not owned: whoever installs it keeps it alive
// until it is replaced or uninstalled with nullptr. nullptr means "not installed", and
// callers treat it as a failure of the operation they wanted.
void InstallLogonLibrary(ILogon* logon);
// The library of the engine call running on this thread (see engine/EngineContext.h), else
// the installed one.
ILogon* LogonLibrary();
// Binds `logon` to the calling thread (null: the installed one) and returns the one bound
// before. Only the engine's call binding uses it.
ILogon* BindThreadLogonLibrary(ILogon* logon);
// The installed library, whatever a thread has bound.
ILogon* InstalledLogonLibrary();

// Installs a library for one scope and puts the previous one back (process-wide).
class ScopedLogonLibrary {
public:
    explicit ScopedLogonLibrary(ILogon* logon) : m_previous(InstalledLogonLibrary()) { InstallLogonLibrary(logon); }
    ~ScopedLogonLibrary() { InstallLogonLibrary(m_previous); }
    ScopedLogonLibrary(const ScopedLogonLibrary&) = delete;
    ScopedLogonLibrary& operator=(const ScopedLogonLibrary&) = delete;

private:
    ILogon* m_previous;
};

// ---- Store classes. Small concrete classes the engine constructs on the stack; each
// works on the library installed when OpenFile is called (or the one given to the
// constructor) and fails cleanly when none is installed. OpenFile answers 0 when the
// store is unavailable; every other call on a store that is not open fails.
class CPubCertFile {
public:
    explicit CPubCertFile(ILogon* logon = nullptr) : m_logon(logon) {}
    int OpenFile();
    int ReadFirstRec(Lumo_PubCert& out);  // 0 = no certificate installed
    int ReadNextRec(Lumo_PubCert& out);   // 0 = no further certificate
    void CloseFile();

private:
    ILogon* m_logon;
    bool m_open = false;
    std::vector<Lumo_PubCert> m_records;
    size_t m_next = 0;
};

class CSignPubCert {
public:
    explicit CSignPubCert(ILogon* logon = nullptr) : m_logon(logon) {}
    int OpenFile();
    // kCertModified (2) when the certificate changed since ownerId last confirmed it.
    int VerifyPubCert(Lumo_PubCert cert, const std::string& ownerId);
    void CloseFile();

private:
    ILogon* m_logon;
    bool m_open = false;
};

class CUserGroup {
public:
    explicit CUserGroup(ILogon* logon = nullptr) : m_logon(logon) {}
    int OpenFile();
    int ReadRecByID(int32_t groupId, Lumo_Group& out);  // 0 = no such group
    void CloseFile();

private:
    ILogon* m_logon;
    bool m_open = false;
};

class CInsureDecryptMen {
public:
    explicit CInsureDecryptMen(ILogon* logon = nullptr) : m_logon(logon) {}
    int OpenFile();
    // The authorised decryptors of sharePath; 0 = no record for the path.
    int GetRecOfPath(Insure_Decrypt_Men& out, const std::string& ownerId, const std::string& sharePath);
    void CloseFile();

private:
    ILogon* m_logon;
    bool m_open = false;
};

// ---- Texts shared by every implementation (see the top of this file).
std::string CertificateNameOf(std::string_view userId);
std::string SharedKeyNameOf(std::string_view userId);
bool UserIdOfSharedKeyName(std::string_view text, std::string& userId);
std::string KeyTextOf(std::string_view name, std::string_view email);
void SplitKeyText(std::string_view text, std::string& name, std::string& email);
std::string SenderIdentityOf(std::string_view userId, char kind);
std::string UserIdOfIdentity(std::string_view identity);
// The key and user records of a registered user, as every implementation answers them.
void FillLogonUserRecords(std::string_view userId, std::string_view name, std::string_view email, int32_t number,
                          int type, LogonKeyRecord& key, LogonUserRecord& user);

// List texts: entries separated by ";", blanks around an entry ignored, empty entries
// skipped. Index is 1-based.
int CountLogonListItems(std::string_view list);
bool LogonListItem(std::string_view list, int index, std::string& out);
// ASCII-only case folding; multi-byte characters compare as units.
bool LogonEqualNoCase(std::string_view a, std::string_view b);
std::string LogonTrim(std::string_view text);

// Path helpers on native paths ("/"); the library answers with these.
std::string LogonSplitName(std::string_view path);
std::string LogonSplitFolder(std::string_view path);
std::string LogonSplitExt(std::string_view path);
