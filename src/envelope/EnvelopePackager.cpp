#include "envelope/EnvelopePackager.h"

#include <openssl/crypto.h>

#include <cstring>
#include <memory>

#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "envelope/Messages.h"
#include "formats/EncryptArgs.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "logon/ILogon.h"
#include "package/PackageWalker.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

// Key material and recipients of one pack, wiped when the pack ends.
struct EnvelopeKeys {
    Search_Data search{};
    Encrypt_Data data{};
    ~EnvelopeKeys() {
        OPENSSL_cleanse(&search, sizeof search);
        OPENSSL_cleanse(&data, sizeof data);
    }
};

}  // namespace

namespace {

// The entry of someone who is no registered user but whose certificate is installed under name
// and confirmed as it stands (one taken from the organisation's directory): user number 0 tells
// the writer to wrap the session key for that certificate.
bool FillCertRecipient(ILogon& logon, const std::string& name, Decrypt_UserInfo& entry) {
    CPubCertFile certs(&logon);
    CSignPubCert confirmations(&logon);
    Lumo_PubCert cert;
    bool found = false;
    if (certs.OpenFile() && confirmations.OpenFile())
        for (int more = certs.ReadFirstRec(cert); more && !found; more = found ? 0 : certs.ReadNextRec(cert))
            found = cert.userNumber == 0 && LogonEqualNoCase(cert.name, LogonTrim(name));
    if (!found || confirmations.VerifyPubCert(cert, {}) != kCertConfirmed) return false;
    const std::string keyText = KeyTextOf(cert.subjectName, cert.email);
    std::string display = Format("%s\n%s", cert.name.c_str(), keyText.c_str());
    if (display.size() >= sizeof entry.displayText || display.size() >= kRecipientTextRoom ||
        keyText.size() >= sizeof entry.keyText || cert.name.size() >= sizeof entry.certName)
        return false;
    CopyText(entry.displayText, std::min(sizeof entry.displayText, kRecipientTextRoom), display);
    entry.userNumber = 0;
    CopyText(entry.certName, sizeof entry.certName, cert.name);
    entry.keyNumber = -1;
    CopyText(entry.keyText, sizeof entry.keyText, keyText);
    entry.flag = 1;
    return true;
}

}  // namespace

bool FillRecipient(ILogon& logon, const std::string& userId, Decrypt_UserInfo& entry) {
    LogonKeyRecord key;
    LogonUserRecord user;
    std::string certPath;
    if (!logon.GetUserRecords(key, user, userId) && FillCertRecipient(logon, userId, entry)) return true;
    if (!logon.GetUserRecords(key, user, userId) || !logon.GetCertFilePath(user.certName, certPath) ||
        !IsExistingFile(certPath)) {
        ShowMessage(msg::envelope::NoPublicKey);
        return false;
    }
    std::string display = user.email.empty()
                              ? Format("%s\n%s", userId.c_str(), user.name.c_str())
                              : Format("%s\n%s<%s>", userId.c_str(), user.name.c_str(), user.email.c_str());
    if (display.size() >= sizeof entry.displayText || display.size() >= kRecipientTextRoom)
        display = Format("%s\n%s", userId.c_str(), user.name.c_str());
    CopyText(entry.displayText, std::min(sizeof entry.displayText, kRecipientTextRoom), display);
    entry.userNumber = user.number;
    CopyText(entry.certName, sizeof entry.certName, user.certName);
    entry.keyNumber = key.keyNumber;
    CopyText(entry.keyText, sizeof entry.keyText, key.keyText);
    entry.flag = 1;
    return true;
}

namespace {

// The caller's own entries, as they stand.
bool TakeEntries(const std::vector<Decrypt_UserInfo>& entries, Search_Data& search) {
    if (entries.size() > kMaxRecipients) {
        ShowMessage(msg::formats::BadArgument);
        return false;
    }
    for (const Decrypt_UserInfo& entry : entries) search.recipients[search.recipientCount++] = entry;
    return true;
}

// The logged-on user first, then every further recipient once.
bool FillRecipients(ILogon& logon, const std::string& userId, const std::vector<std::string>& recipients,
                    Search_Data& search) {
    std::vector<std::string> ids{userId};
    for (const std::string& id : recipients) {
        bool known = false;
        for (const std::string& have : ids) known = known || LogonEqualNoCase(have, id);
        if (!known) ids.push_back(id);
    }
    if (ids.size() > kMaxRecipients) {
        ShowMessage(msg::formats::BadArgument);
        return false;
    }
    for (const std::string& id : ids)
        if (!FillRecipient(logon, id, search.recipients[search.recipientCount++])) return false;
    return true;
}

int BuildPackage(CKorvane& engine, CFile& package, const EnvelopePackRequest& request, ILogon& logon,
                 const std::string& userId, const SecretText& password, EnvelopePackFailure& failure) {
    auto keys = std::make_unique<EnvelopeKeys>();
    Search_Data& search = keys->search;
    failure = EnvelopePackFailure::kRecipients;
    if (!request.entries.empty() ? !TakeEntries(request.entries, search)
                                 : !FillRecipients(logon, userId, request.recipients, search))
        return 0;

    EncryptFlag head;
    engine.InitEncryptFlag(&head, request.kind);
    if (request.cipherId != 0) head.cipherId = request.cipherId;
    head.count = search.recipientCount;
    // The head's base folder ends with a separator, as every envelope writer stores it.
    CopyText(head.baseFolder, sizeof head.baseFolder,
             request.baseFolder.empty() ? "" : WithSeparator(request.baseFolder));
    if (!engine.fWriteBuf(&package, &head, sizeof head)) return 0;

    char key[64] = {}, iv[64] = {};
    int keyLength = 0, ivLength = 0;
    engine.Generate_EncryptKey(head.cipherId, key, &keyLength, iv, &ivLength);
    if (keyLength <= 0 || ivLength <= 0) {
        OPENSSL_cleanse(key, sizeof key);
        return 0;
    }
    std::memcpy(search.key, key, static_cast<size_t>(keyLength));
    std::memcpy(search.iv, iv, static_cast<size_t>(ivLength));
    OPENSSL_cleanse(key, sizeof key);
    search.keyLength = keyLength;
    search.ivLength = ivLength;
    CopyText(search.userId, sizeof search.userId, userId);

    std::string list;
    for (const std::string& p : request.paths) list.append(p).push_back('\0');
    list.push_back('\0');
    int recordStart = 0, itemCount = 0;
    failure = EnvelopePackFailure::kWalk;
    if (!engine.Envelop_SearchFile(list.c_str(), &package, search, &recordStart, &itemCount)) return 0;
    if (!engine.AddEndofHead(&package)) return 0;
    failure = EnvelopePackFailure::kEncryption;

    Encrypt_Data& data = keys->data;
    CopyText(data.userId, sizeof data.userId, userId);
    CopyText(data.password, sizeof data.password, password.view());
    data.passwordLength = static_cast<int>(std::strlen(data.password));
    std::memcpy(data.key, search.key, static_cast<size_t>(keyLength));
    data.keyLength = keyLength;
    std::memcpy(data.iv, search.iv, static_cast<size_t>(ivLength));
    data.ivLength = ivLength;
    data.digestId = head.digestId2;
    data.cipherId = head.cipherId;
    data.notifyWindow = request.notifyWindow;
    data.itemCount = itemCount;
    return engine.EnvelopEncryptFiles(&package, recordStart, data);
}

}  // namespace

int PackEnvelope(CKorvane& engine, const EnvelopePackRequest& request, EnvelopePackFailure* failure) try {
    EngineCall call(engine.Context());
    EnvelopePackFailure ignored;
    EnvelopePackFailure& failed = failure ? *failure : ignored;
    failed = EnvelopePackFailure::kNotLoggedOn;
    ILogon* logon = LogonLibrary();
    std::string userId;
    SecretText password;
    int type = 0;
    if (!logon || !logon->GetLogonUser(userId, password, type)) return 0;
    failed = EnvelopePackFailure::kOutput;

    CAtomicFile package;
    package.SetReplace(request.replace);
    CFileException error;
    if (!package.Create(request.packagePath, &error)) {
        ShowMessage(msg::engine::OpenFailed, error.ErrorText());
        return 0;
    }
    if (BuildPackage(engine, *package.File(), request, *logon, userId, password, failed) != 1) return 0;
    failed = EnvelopePackFailure::kCommit;
    if (!package.Commit(&error)) {
        ShowMessage(msg::engine::WriteFailed, error.ErrorText());
        return 0;
    }
    failed = EnvelopePackFailure::kNone;
    PackageWalker::ShowLeftOut(engine);
    return 1;
} catch (...) {
    return EntryFailed(engine.Context(), 0);
}
