// Verification of a signature file against the file it describes, and the search for that file.

#include <cstring>
#include <memory>

#include "dialogs/FileOpenDialog.h"
#include "dialogs/VerifyDialog.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "logon/ILogon.h"
#include "platform/MessageBox.h"
#include "platform/SslHandles.h"
#include "platform/UiHost.h"
#include "signature/Messages.h"
#include "signature/SignatureRecord.h"

namespace {

// A stored path made on any system: its separators are "\" or "/".
size_t LastSeparator(const std::string& path) { return path.find_last_of("\\/"); }

std::string NamePart(const std::string& path) {
    size_t cut = LastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The folder part with its trailing separator, native; empty when the path names no folder.
std::string FolderPart(const std::string& path) {
    size_t cut = LastSeparator(path);
    if (cut == std::string::npos) return {};
    std::string folder = path.substr(0, cut + 1);
    for (char& c : folder)
        if (c == '\\') c = '/';
    return folder;
}

bool IsFile(const std::string& path) {
    ILogon* logon = LogonLibrary();
    return logon != nullptr && logon->FileExists(path) != 0;
}

bool IsFolder(const std::string& path) {
    ILogon* logon = LogonLibrary();
    return logon != nullptr && !path.empty() && logon->FolderExists(path) != 0;
}

// Whether the user ID and signer name the record stores belong to the certificate that proved
// the signature. Kind 4 finds that certificate by the record's certificate name, so both texts
// must name it. Kind 16 finds it by the signer name; the user ID is the signer's name in their
// own suite, which this store may not know: it may name nobody here, but never someone else.
bool RecordNamesProvenSigner(const File_SignInfo& r, int kind, const SignerProof& proof) {
    ILogon* logon = LogonLibrary();
    if (logon == nullptr || !TextNamesProvenSigner(*logon, r.signerName, kind, proof)) return false;
    if (TextNamesProvenSigner(*logon, r.userId, kind, proof)) return true;
    if (kind != kKindSignMail) return false;
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    const int named = logon->GetSignerCert(r.userId, kind, &key, &cert);
    PkeyPtr keyOwner(key);
    X509Ptr certOwner(cert);
    return named == 0 && !LogonTrim(r.userId).empty();
}

VerifyRecord ReportRecord(const File_SignInfo& r, const std::string& checkedPath, const SignerProof& proof) {
    VerifyRecord out;
    out.filePath = checkedPath;
    // A proven signer is named by the certificate; an unproven one by what the record says.
    out.signerName = proof.Proven() ? proof.KeyText() : std::string(r.signerName);
    out.proof = proof;
    out.userId = r.userId;
    out.signTime.assign(r.signTime, strnlen(r.signTime, sizeof r.signTime));
    out.modifyTime.assign(r.modifyTime, strnlen(r.modifyTime, sizeof r.modifyTime));
    out.size = r.fileSize;
    return out;
}

}  // namespace

std::string CKorvane::FindSignedFile(const std::string& signaturePath, const std::string& storedPath) {
    // Only the stored file name is joined to the signature file's folder: a stored text can
    // never lead the search out of that folder.
    const std::string name = NamePart(storedPath);
    const std::string ownFolder = FolderPart(signaturePath);
    const bool plainName = !name.empty() && name != "." && name != "..";
    if (plainName && IsFile(ownFolder + name)) return ownFolder + name;

    std::string storedFolder = FolderPart(storedPath);
    std::string initial = IsFolder(storedFolder) ? storedFolder : ownFolder;
    if (initial.empty()) initial = "./";
    CFileDialog dialog(MessageText(msg::signature::AllFilesFilter), initial, plainName ? name : std::string(), true);
    if (UiHost().RunDialog(dialog) != IDOK) return {};
    return dialog.PathName();
}

int CKorvane::Verify_One_File(const char* signaturePath) try {
    EngineCall call(m_context);
    m_verifyEnd = VerifyEnd::kNotChecked;
    m_verifyCertName.clear();
    if (signaturePath == nullptr || !IsFile(signaturePath)) return 0;
    CFile signatureFile;
    if (!OpenForReading(signaturePath, signatureFile, 1)) return 0;
    EncryptFlag head;
    if (!ReadEncryptedFileHead(&signatureFile, &head, kSignRecordDamaged) ||
        !CheckEncryptedFileHead(head, kSignatureHeadRules))
        return 0;
    auto record = std::make_unique<File_SignInfo>();
    if (!ReadSignatureRecord(*this, &signatureFile, record.get())) return 0;
    signatureFile.Abort();

    std::string certName = record->certName;
    if (head.kind == kKindSignMail) {
        ILogon* logon = LogonLibrary();
        certName = logon ? logon->MapRecipientKeyText(record->signerName, 1) : std::string();
    }
    m_verifyCertName = certName;
    if (!Evp_VerifyInit(head.digestId2, certName.c_str(), head.kind)) {
        ShowMessage(msg::signature::VerifyInitFailed);
        return 0;
    }

    const std::string checked = FindSignedFile(signaturePath, record->fileName);
    if (checked.empty()) {
        m_verifyEnd = VerifyEnd::kSignedFileMissing;
        return 0;
    }
    CFile signedFile;
    if (!OpenForReading(checked.c_str(), signedFile, 1) || !fSeekToBegin(&signedFile)) return 0;
    unsigned char* block = BlockIn();
    for (;;) {
        unsigned long got = 0;
        if (!fReadBuf(&signedFile, block, kStreamBlockSize, &got, 0)) return 0;
        if (got > 0) Evp_VerifyUpdate(block, static_cast<unsigned>(got));
        if (got < kStreamBlockSize) break;
    }
    signedFile.Abort();

    int verdict = Evp_VerifyFinal(record->signature, static_cast<unsigned>(record->signatureLength), certName.c_str(),
                                  static_cast<char>(head.kind), 0);
    if (verdict < 0) {
        m_verifyEnd = VerifyEnd::kNoCertificate;
        return 0;
    }
    const SignerProof proof = SignerProved();
    if (verdict == 1 && !RecordNamesProvenSigner(*record, head.kind, proof)) {
        ShowMessage(msg::signature::SignerNotCertificate);
        return 0;
    }
    VerifyRecord shown = ReportRecord(*record, checked, proof);
    if (ILogon* logon = LogonLibrary(); logon && proof.Proven()) {
        Lumo_PubCert cert;  // the installed certificate the signer's name resolves to, as the check found it
        cert.name = logon->MapRecipientKeyText(certName, 1);
        shown.certState = logon->VerifyPubCert(cert, record->userId);
    }
    m_verifyEnd = VerifyEnd::kReported;
    CDlgVerify report(shown, verdict == 1 ? 1 : 0);
    UiHost().RunDialog(report);
    return 1;
} catch (...) {
    return EntryFailed(m_context, 0);
}
