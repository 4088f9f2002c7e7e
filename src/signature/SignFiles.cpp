// Signing files into signature files (".idi") and mailing signed files with their signatures.

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "mail/MailStart.h"
#include "platform/AtomicFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"
#include "platform/UiHost.h"
#include "signature/Messages.h"
#include "signature/SignatureRecord.h"

namespace {

constexpr const char* kMailSubject = "发送签名文件";

void ShowOpenFailure(const CFileException& error) {
    char text[141];
    error.GetErrorMessage(text, sizeof text);
    ShowMessage(msg::engine::OpenFailed, text);
}

bool FileExists(const std::string& path) {
    ILogon* logon = LogonLibrary();
    return logon != nullptr && logon->FileExists(path) != 0;
}

// Copies a text into a record field; false when it does not fit its room with a terminator.
bool SetText(char* field, size_t room, int32_t* length, const std::string& text) {
    if (text.size() >= room) return false;
    std::memcpy(field, text.data(), text.size());
    *length = static_cast<int32_t>(text.size());
    return true;
}

}  // namespace

// What every file of one signing batch shares, each looked up at its first use and kept for
// the next files: the head (it holds nothing of the file, so every signature file of a batch
// begins with the same 300 bytes, sealed once) and the signer's texts from the logon library.
// A lookup that fails is not kept: the next file tries again, as a lone signing would.
struct CKorvane::SignBatch {
    bool haveHead = false;
    EncryptFlag plainHead{};
    EncryptFlag sealedHead{};
    bool haveSigner = false;
    std::string keyText;
    std::string signer;
};

int CKorvane::Sign_One_File(const char* path, char* signaturePath, char kind, const char* userId, const char* password,
                            int /*reserved*/, SignBatch& batch) {
    char signTime[kTimeTextLength + 1] = {};
    FormatTimeText(std::time(nullptr), signTime);
    if (path == nullptr || signaturePath == nullptr || !FileExists(path)) return 0;

    const std::string target = std::string(path) + ".idi";
    if (target.size() >= static_cast<size_t>(kMaxPath)) {
        ShowOpenFailure(CFileException::FromErrno(ENAMETOOLONG, target));
        return 0;
    }
    std::memcpy(signaturePath, target.c_str(), target.size() + 1);
    // A link at the signature's name (even one leading nowhere) is replaced, never written
    // through, and only when the person agrees, as a signature file is.
    PathInfo there;
    const bool replacing = FileExists(target) || (LookUpPath(target, &there, false) && there.kind == PathKind::Link);
    if (replacing && ShowMessage(msg::signature::ReplaceSignature, target) != IDYES) return 0;

    CFile source;
    while (!OpenForReading(path, source, 0)) {
        if (ShowMessage(msg::signature::RetryOpen, path) != IDRETRY) return 0;
    }
    // Written beside its place and moved there only when complete: a signing that fails
    // half-way leaves no partial signature file and never destroys an earlier one.
    CAtomicFile output;
    CFileException error;
    if (!fSeekToBegin(&source)) return 0;
    if (!output.Create(target, &error)) {
        ShowOpenFailure(error);
        return 0;
    }
    output.SetReplace(replacing);  // the person agreed to replace it

    if (!batch.haveHead) {
        InitEncryptFlag(&batch.plainHead, static_cast<uint8_t>(kind));
        batch.sealedHead = batch.plainHead;
        if (!SealEncryptFlag(&batch.sealedHead)) return 0;
        batch.haveHead = true;
    }
    const EncryptFlag& head = batch.plainHead;
    if (!fWriteBuf(output.File(), &batch.sealedHead, sizeof batch.sealedHead)) return 0;

    auto record = std::make_unique<File_SignInfo>();
    File_SignInfo& r = *record;
    std::memset(&r, 0, sizeof r);
    SetText(r.fileName, kSignPathRoom, &r.fileNameLength, path);
    unsigned long size = 0;
    if (!GetFileStatus(&source, r.modifyTime, nullptr, &size, &r.attributes)) return 0;
    r.fileSize = static_cast<uint32_t>(size);
    std::memcpy(r.signTime, signTime, kTimeTextLength);

    const std::string id = userId ? userId : "";
    if (!batch.haveSigner) {
        ILogon* logon = LogonLibrary();
        LogonKeyRecord key;
        LogonUserRecord user;
        if (logon == nullptr || !logon->GetUserRecords(key, user, id) || !logon->GetSignerName(id, batch.signer))
            return 0;
        batch.keyText = key.keyText;
        batch.haveSigner = true;
    }
    if (!SetText(r.userId, kSignUserIdRoom, &r.userIdLength, id) ||
        !SetText(r.certName, kSignCertNameRoom, &r.certNameLength, batch.keyText) ||
        !SetText(r.signerName, kSignSignerNameRoom, &r.signerNameLength, batch.signer))
        return 0;

    if (!Evp_SignInit(head.digestId2)) {
        ShowMessage(msg::signature::SignInitFailed);
        return 0;
    }
    unsigned char* block = BlockIn();
    for (;;) {
        unsigned long got = 0;
        if (!fReadBuf(&source, block, kStreamBlockSize, &got, 0)) return 0;
        if (got > 0) Evp_SignUpdate(block, static_cast<unsigned>(got));
        if (got < kStreamBlockSize) break;
    }
    unsigned int signatureLength = 0;
    if (!Evp_SignFinal(r.signature, &signatureLength, userId, password)) return 0;
    r.signatureLength = static_cast<int32_t>(signatureLength);

    if (!WriteSignatureRecord(*this, output.File(), r)) return 0;
    source.Abort();
    if (!output.Commit(&error)) {
        ShowMessage(msg::engine::WriteFailed, error.ErrorText());
        return 0;
    }
    return 1;
}

int CKorvane::SignList(const char* fileList, char kind, const char* userId, const char* password, int reserved,
                       std::vector<std::string>& signedFiles, std::vector<std::string>& signatureFiles) {
    // The private key is unlocked once for the whole list (key derivation costs far more than a
    // signature) and wiped when the list is done, however it ends; the head and the signer's
    // texts are looked up once too.
    struct Hold {
        CKorvane& engine;
        explicit Hold(CKorvane& e) : engine(e) { engine.HoldSigningKey(true); }
        ~Hold() { engine.HoldSigningKey(false); }
    } hold(*this);
    SignBatch batch;
    m_unreachedCount = 0;
    // Messages about one file of a list of several name it, where a host prints messages as
    // lines.
    struct Subject {
        std::string before = UiHost().Subject();
        ~Subject() { UiHost().SetSubject(before); }
    } subject;
    const bool several = fileList != nullptr && *fileList != '\0' && fileList[std::strlen(fileList) + 1] != '\0';
    for (const char* entry = fileList; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
        char signaturePath[kMaxPath] = {};
        if (several) UiHost().SetSubject(entry);
        if (!Sign_One_File(entry, signaturePath, kind, userId, password, reserved, batch)) {
            // A key device taken away (a token pulled out) stops the list: every further file
            // would only say so again. The files not reached are left as they are.
            ILogon* logon = LogonLibrary();
            if (logon != nullptr && logon->GetUserType() == kLogonKeyDevice && logon->IsDevicePresent() == 0) break;
            continue;
        }
        signedFiles.emplace_back(entry);
        signatureFiles.emplace_back(signaturePath);
        if (signedFiles.size() == kMaxSignedFiles) {
            for (const char* rest = entry + std::strlen(entry) + 1; *rest != '\0'; rest += std::strlen(rest) + 1)
                ++m_unreachedCount;
            break;
        }
    }
    m_signedCount = signedFiles.size();
    return static_cast<int>(signedFiles.size());
}

int CKorvane::SignFilesWithEmail(const char* fileList, const char* userId, const char* password, int reserved) try {
    EngineCall call(m_context);
    std::vector<std::string> signedFiles, signatureFiles;
    SignList(fileList, kKindSignMail, userId, password, reserved, signedFiles, signatureFiles);
    return 1;
} catch (...) {
    return EntryFailed(m_context, 1);
}

int CKorvane::SignFiles(const char* fileList, const char* userId, const char* password, int reserved, int mail) try {
    EngineCall call(m_context);
    std::vector<std::string> signedFiles, signatureFiles;
    SignList(fileList, mail ? kKindSignMail : kKindSignUser, userId, password, reserved, signedFiles, signatureFiles);
    if (signedFiles.empty() || mail == 0) return 1;

    ILogon* logon = LogonLibrary();
    std::string certificate;
    if (logon && LogonEqualNoCase(logon->GetOption("Option", "AutoSendPubCert", "TRUE"), "TRUE"))
        logon->GetOwnCertFile(certificate);
    CMailStart launcher;
    launcher.SetSubject(kMailSubject);
    for (size_t i = 0; i < signedFiles.size(); ++i) {
        int index = static_cast<int>(2 * i);
        launcher.AddAttachFile(signedFiles[i].c_str());
        launcher.SetNoDeleteFileFlag(index);
        launcher.AddAttachFile(signatureFiles[i].c_str());
        launcher.SetDeleteFileFlag(index + 1);
    }
    if (!certificate.empty() && FileExists(certificate)) launcher.AddAttachFile(certificate.c_str());
    launcher.Sendmail();
    return 1;
} catch (...) {
    return EntryFailed(m_context, 1);
}
