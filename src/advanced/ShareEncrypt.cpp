// Shared encryption: one package per file (kind 8) for the owner and every person a share
// path's authorised decryptors name, directly, through a group of the store or through a group
// of the organisation's directory. The recipient list is built once per batch, before any file
// is touched.

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "advanced/AdvanceEmcrypt.h"
#include "advanced/Messages.h"
#include "engine/Options.h"
#include "formats/EnvelopeRecords.h"
#include "logon/DirectoryGroups.h"
#include "password/Messages.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// The recipient list of one batch as it grows: who is in it, who was refused.
class RecipientList {
public:
    RecipientList(ILogon& logon, Decrypt_UserInfo* entries) : m_logon(logon), m_entries(entries) {}

    // The owner's entry; false when the owner cannot share-encrypt. A missing certificate
    // file is said here; the other reasons are the logon library's to say.
    bool AddOwner(const std::string& userId) {
        LogonKeyRecord key;
        LogonUserRecord user;
        if (!m_logon.GetUserRecords(key, user, userId)) return false;
        std::string keyText;
        switch (KeyTextOf(user, keyText)) {
            case Usable::kNoCertificate:
                ShowMessage(msg::advanced::NoPublicKey);
                return false;
            case Usable::kNo:
                return false;
            case Usable::kYes:
                break;
        }
        Fill(m_entries[0], user, key.keyNumber, keyText, 1);
        m_count = 1;
        m_seen.push_back(user.number);
        return true;
    }

    // A further person by user number. Passed over when seen already, unknown, without a
    // usable certificate and e-mail address, or (with `confirm`) holding a certificate that
    // changed since its confirmation, which is said once. False only at the 201st person.
    bool AddPerson(int32_t number, CSignPubCert& confirmations, const std::string& ownerId) {
        if (Contains(m_seen, number) || Contains(m_refused, number)) return true;
        Lumo_PubCert cert;
        if (!m_logon.GetCertRecordByNumber(number, cert)) return true;
        if (confirmations.VerifyPubCert(cert, ownerId) == kCertModified) {
            ShowMessage(msg::advanced::CertModified, cert.name);
            m_refused.push_back(number);
            return true;
        }
        LogonKeyRecord key;
        LogonUserRecord user;
        std::string keyText;
        if (!m_logon.GetUserRecordByNumber(key, user, number) || KeyTextOf(user, keyText) != Usable::kYes) return true;
        if (static_cast<size_t>(m_count) >= kMaxRecipients) {
            ShowMessage(msg::advanced::TooManyRecipients);
            return false;
        }
        Fill(m_entries[m_count++], user, -1, keyText, 0);
        m_seen.push_back(number);
        return true;
    }

    // A person a directory group named, by the name the logon library knows them under: a
    // registered user as AddPerson takes them, else an installed certificate confirmed as it
    // stands, whose holder receives the session key as its certificate's (user number 0). A
    // name that is neither is said and stops the build, as does the 201st person: the group
    // never arrives shorter than the directory holds it.
    bool AddNamed(const std::string& name, CSignPubCert& confirmations, const std::string& ownerId) {
        LogonKeyRecord key;
        LogonUserRecord user;
        if (m_logon.GetUserRecords(key, user, name)) return AddPerson(user.number, confirmations, ownerId);
        for (const std::string& seen : m_seenCerts)
            if (LogonEqualNoCase(seen, name)) return true;
        const Lumo_PubCert* cert = ConfirmedCert(name, confirmations, ownerId);
        const std::string keyText = cert ? ::KeyTextOf(cert->subjectName, cert->email) : std::string();
        if (cert == nullptr || keyText.size() >= sizeof(Decrypt_UserInfo::keyText) ||
            cert->name.size() >= sizeof(Decrypt_UserInfo::certName)) {
            ShowMessage(msg::advanced::NoPublicKey);
            return false;
        }
        if (static_cast<size_t>(m_count) >= kMaxRecipients) {
            ShowMessage(msg::advanced::TooManyRecipients);
            return false;
        }
        Decrypt_UserInfo& entry = m_entries[m_count];
        std::memset(&entry, 0, sizeof entry);
        CopyText(entry.certName, sizeof entry.certName, cert->name);
        entry.keyNumber = -1;
        CopyText(entry.keyText, sizeof entry.keyText, keyText);
        ++m_count;
        m_seenCerts.push_back(cert->name);
        return true;
    }

    int Count() const { return m_count; }

private:
    enum class Usable { kYes, kNo, kNoCertificate };

    static bool Contains(const std::vector<int32_t>& list, int32_t number) {
        return std::find(list.begin(), list.end(), number) != list.end();
    }

    // "name<e-mail>" of the user's installed certificate file, when it names a usable address
    // and fits a recipient record.
    Usable KeyTextOf(const LogonUserRecord& user, std::string& keyText) {
        std::string path;
        if (!m_logon.GetCertFilePath(user.certName, path)) return Usable::kNo;
        if (!IsExistingFile(path)) return Usable::kNoCertificate;
        LogonCertFileRecord cert;
        if (!m_logon.ReadCertFile(path, cert)) return Usable::kNo;
        const std::string email = LogonTrim(cert.email);
        if (email.empty() || !m_logon.IsMailAddressUsable(email)) return Usable::kNo;
        keyText = Format("%s<%s>", cert.name.c_str(), email.c_str());
        return keyText.size() < kRecipientKeyTextRoom ? Usable::kYes : Usable::kNo;
    }

    // The installed certificate of someone who is no registered user, when it is confirmed as it
    // stands. The store's certificates are read once per batch.
    const Lumo_PubCert* ConfirmedCert(const std::string& name, CSignPubCert& confirmations,
                                      const std::string& ownerId) {
        if (!m_certsRead) {
            m_certsRead = true;
            CPubCertFile file(&m_logon);
            Lumo_PubCert cert;
            if (file.OpenFile())
                for (int more = file.ReadFirstRec(cert); more; more = file.ReadNextRec(cert)) m_certs.push_back(cert);
        }
        for (const Lumo_PubCert& cert : m_certs)
            if (cert.userNumber == 0 && LogonEqualNoCase(cert.name, LogonTrim(name)))
                return confirmations.VerifyPubCert(cert, ownerId) == kCertConfirmed ? &cert : nullptr;
        return nullptr;
    }

    static void Fill(Decrypt_UserInfo& entry, const LogonUserRecord& user, int32_t keyNumber,
                     const std::string& keyText, int32_t flag) {
        std::memset(&entry, 0, sizeof entry);
        entry.userNumber = user.number;
        CopyText(entry.certName, sizeof entry.certName, user.certName);
        entry.keyNumber = keyNumber;
        CopyText(entry.keyText, sizeof entry.keyText, keyText);
        entry.flag = flag;
    }

    ILogon& m_logon;
    Decrypt_UserInfo* m_entries;
    int m_count = 0;
    std::vector<int32_t> m_seen;
    std::vector<int32_t> m_refused;
    std::vector<std::string> m_seenCerts;  // certificate names of people who are no registered user
    std::vector<Lumo_PubCert> m_certs;
    bool m_certsRead = false;
};

// The members of a directory group, read through the context's directory (the engine has none
// of its own). Without one the share cannot be encrypted for as granted, which is said.
bool AddDirectoryGroup(const EngineContext& context, RecipientList& list, const std::string& group,
                       CSignPubCert& confirmations, const std::string& ownerId) {
    std::vector<std::string> names;
    if (context.directoryGroups == nullptr) {
        ShowMessage(msg::advanced::NoDirectoryForShare, group);
        return false;
    }
    if (!context.directoryGroups->Members(group, names)) return false;
    for (const std::string& name : names)
        if (!list.AddNamed(name, confirmations, ownerId)) return false;
    return true;
}

}  // namespace

int CAdvanceEmcrypt::SetShareEncryptFileFixedHead(EncryptFlag* head, Decrypt_UserInfo* recipients, int* count,
                                                  const char* userId, const char* sharePath) {
    ILogon* logon = LogonLibrary();
    if (logon == nullptr || userId == nullptr || sharePath == nullptr) return 0;
    RecipientList list(*logon, recipients);
    if (!list.AddOwner(userId)) return 0;

    CSignPubCert confirmations;
    if (!confirmations.OpenFile()) return 0;
    CInsureDecryptMen decryptors;
    CUserGroup groups;
    Insure_Decrypt_Men record;
    // Without the stores, or without a record for the path, the owner is the only recipient.
    bool shared = decryptors.OpenFile() && groups.OpenFile() && decryptors.GetRecOfPath(record, userId, sharePath);
    for (size_t i = 0; shared && i < record.entries.size(); ++i) {
        const DecryptMan& man = record.entries[i];
        bool ok = true;
        if (man.type == kDecryptManUser) {
            ok = list.AddPerson(man.id, confirmations, userId);
        } else if (Lumo_Group group; man.type == kDecryptManGroup && groups.ReadRecByID(man.id, group)) {
            // Members reached through a group are checked like anyone else: a changed
            // certificate must not receive the session key whichever way its holder is named.
            for (size_t m = 0; ok && m < group.members.size(); ++m)
                ok = list.AddPerson(group.members[m], confirmations, userId);
        } else if (man.type == kDecryptManDirectoryGroup) {
            ok = AddDirectoryGroup(m_context, list, man.name, confirmations, userId);
        }
        if (!ok) return 0;
    }
    *count = list.Count();
    InitEncryptFlag(head, kKindShared);
    head->count = list.Count();
    return 1;
}

int CAdvanceEmcrypt::ShareEncryptSingleFile(const char* path, const char* userId, const char* password,
                                            EncryptFlag head, Decrypt_UserInfo* recipients, int count) {
    (void)userId;
    (void)password;
    int verdict = 0;
    if (!ReadySource(path, &verdict)) return verdict;
    CopyText(head.baseFolder, sizeof head.baseFolder, FolderOfPath(path));
    return EncryptInPlace(path, head, recipients, count, msg::advanced::ShareEncryptFailed, -1);
}

int CAdvanceEmcrypt::ShareEncryptMuchFiles(const char* fileList, const char* sharePath, const char* userId,
                                           const char* password, HWND notifyWindow) try {
    EngineCall call(m_context);
    // Nothing to encrypt: nothing is asked or checked either.
    m_outcomes.clear();
    const std::vector<std::string> files = ListEntries(fileList);
    if (files.empty()) return 1;
    ILogon* logon = LogonLibrary();
    if (logon == nullptr || userId == nullptr || password == nullptr || !IsLoggedOnUser(*logon, userId)) return 0;
    // A key-device owner signs with the device only when the settings ask for it; otherwise the
    // package carries the bare digest.
    if (logon->GetUserType() == kLogonKeyDevice) m_digestOnly = OptionIsTrue("Option", "AutoSignFile", "FALSE") ? 0 : 1;
    if (!logon->CheckPassword(userId, password, static_cast<int>(std::strlen(password)), kKindShared)) {
        ShowMessage(msg::password::WrongPassword);
        return 0;
    }
    EncryptFlag head;
    auto recipients = std::make_unique<Decrypt_UserInfo[]>(kMaxRecipients);
    int count = 0;
    struct Wipe {
        Decrypt_UserInfo* entries;
        ~Wipe() { OPENSSL_cleanse(entries, sizeof(Decrypt_UserInfo) * kMaxRecipients); }
    } wipe{recipients.get()};
    if (!SetShareEncryptFileFixedHead(&head, recipients.get(), &count, userId, sharePath)) return 0;
    RunBatch(files, notifyWindow, [&](const char* path) {
        return ShareEncryptSingleFile(path, userId, password, head, recipients.get(), count);
    });
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}
