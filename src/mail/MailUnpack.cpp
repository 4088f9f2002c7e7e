// Unpacking a mail package, read from a file or from memory, into the mail working folder:
// header checks, the signer, the reader's own recipient record and session key, then every file
// of the index, and last the signature.

#include <openssl/crypto.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "dialogs/MessagePump.h"
#include "engine/Identifiers.h"
#include "engine/Messages.h"
#include "logon/ILogon.h"
#include "mail/MailEncrypt.h"
#include "mail/Messages.h"
#include "platform/AtomicFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/OutputFolder.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"

namespace {

// The kind the logon library is told when it resolves mail signers and recipients.
constexpr int kMailKind = 8;
constexpr int kMailNotVerified = 2;

void ShowCreateFailure(const std::string& text) { ShowMessage(msg::mail::CreateFileFailed, text.substr(0, 140)); }

}  // namespace

int CMailEncrypt::fReadBuf2(CFile* pFile, CMemFile* pMemFile, void* buffer, unsigned long count, unsigned long* pRead,
                            int bExact) try {
    EngineCall call(m_context);
    return fReadBuf(pFile ? pFile : pMemFile, buffer, count, pRead, bExact);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CMailEncrypt::fSeek2(CFile* pFile, CMemFile* pMemFile, long offset, unsigned origin) try {
    EngineCall call(m_context);
    return fSeek(pFile ? pFile : pMemFile, offset, origin);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CMailEncrypt::MailFileCount(CFile* pFile, CMemFile* pMemFile) try {
    EngineCall call(m_context);
    CFile* source = pFile ? pFile : pMemFile;
    if (source == nullptr) return -1;
    unsigned char stored[kMailHeaderSize];
    MailHeader header;
    bool crcMatches = false;
    try {
        source->SeekToBegin();
        if (source->Read(stored, sizeof stored) != sizeof stored) return -1;
        source->SeekToBegin();
    } catch (const CFileException&) {
        return -1;
    }
    if (!DecodeMailHeader(*this, stored, header, &crcMatches) || std::memcmp(header.magic, m_magic, 2) != 0 ||
        !MailCountsFit(header, source->GetLength()))
        return -1;
    return header.fileCount;
} catch (...) {
    return EntryFailed(m_context, -1);
}

// The header's own checks, in the order readers have always made them, and the counts it
// claims against what the package's length can hold.
int CMailEncrypt::CheckMailHeader(const MailHeader& header, uint64_t packageLength) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (std::memcmp(header.magic, m_magic, 2) != 0 || !digit(header.version[0]) || !digit(header.version[1])) {
        ShowMessage(msg::mail::NotMail);
        return 0;
    }
    double version = (header.version[0] - '0') + (header.version[1] - '0') / 10.0;
    double own = (m_version[0] - '0') + (m_version[1] - '0') / 10.0;
    if (version > own) {
        ShowMessage(msg::mail::TooNew, version);
        return 0;
    }
    if ((header.mailFlag & (kMailFlagEncrypt | kMailFlagSign)) == 0) {
        ShowMessage(msg::mail::NeitherFlag);
        return 0;
    }
    if (!IsSupportedCipher(header.cipherId)) {
        ShowMessage(msg::mail::BadCipher);
        return 0;
    }
    if (!IsSupportedDigest(header.digestId2)) {
        ShowMessage(msg::mail::BadDigest);
        return 0;
    }
    if (header.one != 1) {
        ShowMessage(msg::mail::BadOne);
        return 0;
    }
    // A count the package cannot hold entries for is a forged header; callers size their rows
    // from it (MailFileCount answers -1 for it).
    if (!MailCountsFit(header, packageLength)) {
        ShowMessage(msg::mail::NotMail);
        return 0;
    }
    return 1;
}

// Reads every recipient record and unwraps the session key of the logged-on user's own.
int CMailEncrypt::FindMailKey(CFile* source, const MailHeader& header, DECRYPT_MAIL_KEY* key, const std::string& user,
                              const SecretText& secret) {
    ILogon* logon = LogonLibrary();
    Lumo_PrivateKey index;
    std::string indexUser;
    if (!logon->GetPrivateKeyIndex(index, indexUser)) {
        ShowMessage(msg::mail::NoKeyIndex);
        return 0;
    }
    MailRecipient own;
    bool found = false;
    for (int32_t i = 0; i < header.recipientCount; ++i) {
        MailRecipient record;
        if (!ReadRecipientRecord(*this, source, record)) return 0;
        if (!found && LogonEqualNoCase(record.name, index.name)) {
            own = std::move(record);
            found = true;
        }
    }
    if (!found) {
        if (!key->bSilent) ShowMessage(msg::mail::NotRecipient);
        return 0;
    }
    unsigned char plain[kLogonWrapOutRoom];
    int length = logon->UnwrapSessionKey(static_cast<int>(own.wrapped.size()), own.wrapped.data(), plain, user,
                                         own.name, kMailKind, secret.c_str(), static_cast<int>(secret.size()));
    // The IV lies inside the unwrapped data, behind the key; both have exactly the lengths of the
    // header's cipher, or the files would be written from a key padded with zeros.
    const int keyLength = CipherKeyLength(header.cipherId), ivLength = CipherIvLength(header.cipherId);
    bool ok = length > 0 && keyLength > 0 && own.ivLength == ivLength && length == keyLength + ivLength &&
              static_cast<size_t>(length) <= sizeof key->Key;
    if (ok) {
        key->nIVLen = own.ivLength;
        key->nKeyLen = length - own.ivLength;
        std::memcpy(key->Key, plain, static_cast<size_t>(length));
        std::memcpy(key->IV, plain + key->nKeyLen, static_cast<size_t>(key->nIVLen));
    } else if (length != kLogonDeviceSaid) {
        ShowMessage(msg::mail::UnwrapFailed);
    }
    OPENSSL_cleanse(plain, sizeof plain);
    return ok ? 1 : 0;
}

int CMailEncrypt::DecryptMail(CFile* pFile, CMemFile* pMemFile, char (*szFiles)[kMaxPath], int& nCount,
                              DECRYPT_MAIL_KEY* pKey) try {
    EngineCall call(m_context);
    if (pKey == nullptr) return 0;
    pKey->nMailFlag = pKey->nUserData = 0;
    pKey->nVerify = kMailNotVerified;
    pKey->szSecondFile[0] = pKey->szSigner[0] = pKey->szDamagedFile[0] = '\0';
    CFile* source = pFile ? pFile : pMemFile;
    ILogon* logon = LogonLibrary();
    std::string user, folder;
    SecretText secret;
    int userType = 0;
    if (source == nullptr || szFiles == nullptr || logon == nullptr || !logon->GetLogonUser(user, secret, userType))
        return 0;
    int result = 0;
    if (logon->GetMailFolder(folder) && !folder.empty()) {
        if (folder.back() != '/') folder += '/';
        m_written.clear();
        // The rows written so far are forgotten whatever stops the unpacking.
        try {
            result = UnpackMail(source, folder, szFiles, nCount, pKey, user, secret);
        } catch (...) {
            result = EntryFailed(m_context, 0);
        }
        m_written.clear();
    }
    DoEvents();
    DoEvents();
    return result;
} catch (...) {
    return EntryFailed(m_context, 0);
}

// The header, the signer, the reader's key, then the files.
int CMailEncrypt::UnpackMail(CFile* source, const std::string& folder, char (*rows)[kMaxPath], int& nCount,
                             DECRYPT_MAIL_KEY* key, const std::string& user, const SecretText& secret) {
    MailHeader header;
    if (!fSeek(source, 0, CFile::begin) || !ReadMailHeader(*this, source, header) ||
        !CheckMailHeader(header, source->GetLength()))
        return 0;
    key->nMailFlag = header.mailFlag;
    key->nUserData = header.userData;
    const bool signedMail = (header.mailFlag & kMailFlagSign) != 0;
    if (signedMail) {
        std::string signer;
        if (!ReadSignerBlock(*this, source, signer)) return 0;
        CopyText(key->szSigner, sizeof key->szSigner, signer);
    }
    if (header.mailType == kMailTypePublicKey && (header.mailFlag & kMailFlagEncrypt) &&
        !FindMailKey(source, header, key, user, secret))
        return 0;
    // Any other type is enciphered under the key its caller holds: without one, the content
    // could only be "opened" with a key of zeros.
    if (header.mailType != kMailTypePublicKey && (header.mailFlag & kMailFlagEncrypt) &&
        (key->nKeyLen <= 0 || static_cast<size_t>(key->nKeyLen) > sizeof key->Key)) {
        ShowMessage(msg::mail::UnwrapFailed);
        return 0;
    }
    if (signedMail && !Evp_VerifyInit(header.digestId2, key->szSigner, kMailKind)) {
        ShowMessage(msg::mail::VerifyInitFailed);
        return 0;
    }
    return UnpackMailFiles(source, header, folder, rows, nCount, key);
}

// Reads the whole file index and, when signed, the signature block, and makes every check that
// needs no plaintext before the first file is written: entry CRCs and names, no more file entries
// than the header announced (its count was held against the package's length), every content
// inside the package, every output path within the path room. Then writes each file to a row,
// and last checks the signature over what was written.
int CMailEncrypt::UnpackMailFiles(CFile* source, const MailHeader& header, const std::string& folder,
                                  char (*rows)[kMaxPath], int& nCount, DECRYPT_MAIL_KEY* key) {
    std::vector<MailFileEntry> files;
    MailIndexEntry entry;
    const uint64_t packageLength = source->GetLength();
    for (;;) {
        if (!ReadIndexEntry(*this, source, entry)) return 0;
        if (!(entry.flag & kMailEntryFile)) break;
        if (files.size() >= static_cast<size_t>(header.fileCount)) {
            ShowMessage(msg::mail::BadEntry, entry.flag);
            return 0;
        }
        const MailFileEntry& f = entry.file;
        if (static_cast<uint64_t>(f.dataOffset) + static_cast<uint64_t>(f.storedLength) > packageLength) {
            ShowMessage(msg::mail::DataShort);
            return 0;
        }
        if (folder.size() + f.name.size() >= static_cast<size_t>(kMaxPath)) {
            ShowCreateFailure(std::strerror(ENAMETOOLONG));
            return 0;
        }
        files.push_back(std::move(entry.file));
        entry.file = {};
    }
    const bool signedMail = (header.mailFlag & kMailFlagSign) != 0;
    std::vector<unsigned char> signature;
    uint32_t zeroField = 0;
    if (signedMail && (!fSeek(source, entry.signatureOffset, CFile::begin) ||
                       !ReadSignatureBlock(*this, source, signature, &zeroField)))
        return 0;
    // The writer always stores 0 in front of the signature. Anything else asks for a bare digest
    // to be compared, which anyone can compute over the contents: never a valid signature.
    if (signedMail && !key->bSilent && zeroField != 0) {
        ShowMessage(msg::engine::BadSignature);
        key->nVerify = 0;
        return 0;
    }

    ContentStream stream =
        MailContentStream(signedMail ? ContentStream::Digest::kVerify : ContentStream::Digest::kNone);
    const ContentKey content(key->Key, sizeof key->Key, key->IV, sizeof key->IV, header.cipherId);
    const ContentKey* cipher = (header.mailFlag & kMailFlagEncrypt) ? &content : nullptr;
    // The files of a signed mail wait under their temporary names for the signature's verdict:
    // a mail whose signature does not match puts nothing where it could be taken for what was
    // signed, unless the reader wants it anyway.
    const bool holdForVerdict = signedMail && !key->bSilent;
    std::vector<std::unique_ptr<CAtomicFile>> held;
    if (holdForVerdict) AllowManyOpenFolders();  // each held file keeps its folder open
    const int firstRow = nCount;
    auto commitHeld = [&]() {
        for (size_t i = 0; i < held.size(); ++i) {
            CFileException error;
            const char* row = rows[firstRow + static_cast<int>(i)];
            if (!held[i]->Commit(&error)) {
                ShowCreateFailure(error.ErrorText());
                nCount = firstRow + static_cast<int>(i);  // the rows name what was put in place
                return false;
            }
            const MailFileEntry& file = files[i];
            SetFileStatus(row, file.modified, file.created, file.attributes);
        }
        held.clear();
        return true;
    };
    int written = 0;
    for (const MailFileEntry& file : files) {
        char* row = rows[nCount];
        CopyText(row, kMaxPath, folder + file.name);
        DoEvents();
        Generate_RaneFileName(row, row);
        if (m_written.count(row) != 0) {
            ShowCreateFailure(std::strerror(EEXIST));
            return 0;
        }
        bool damaged = false;
        std::unique_ptr<CAtomicFile> hold;
        if (!RestoreMailFile(stream, cipher, source, file, row, &damaged, holdForVerdict ? &hold : nullptr) && !damaged)
            return 0;
        if (hold) held.push_back(std::move(hold));
        m_written.insert(row);
        ++nCount;
        if (++written == 2 && header.mailType == kMailTypePublicKey) CopyText(key->szSecondFile, kMaxPath, row);
        if (damaged) {
            // A damaged file is kept and named as damaged, with the files before it, as the
            // reader was told at once; the signature is not checked over a content known wrong.
            if (!commitHeld()) return 0;
            CopyText(key->szDamagedFile, kMaxPath, row);
            return 0;
        }
        DoEvents();
    }
    if (!signedMail || key->bSilent) return 1;
    stream.FinishDigest();
    key->nVerify = Evp_VerifyFinal(signature.data(), static_cast<unsigned>(signature.size()), key->szSigner,
                                   static_cast<char>(kMailKind), 0);
    // A signer without an installed certificate has been told so and the files stand; a
    // signature that does not match fails the mail, and its files are kept only on request.
    if (key->nVerify != 0 || (!held.empty() && ShowMessage(msg::mail::KeepUnverified) == IDYES)) {
        if (!commitHeld()) return 0;
        return key->nVerify == 0 ? 0 : 1;
    }
    held.clear();  // discarded
    nCount = firstRow;
    key->szSecondFile[0] = '\0';
    return 0;
}

// Writes one file beside its place, moves it there when its data is through, and gives it its
// times and attributes. Never replaces a file: one that appeared at the output path meanwhile
// makes the move fail ("File exists"). A content CRC that fails leaves the file written and sets
// *damaged.
int CMailEncrypt::RestoreMailFile(ContentStream& stream, const ContentKey* key, CFile* source,
                                  const MailFileEntry& entry, const char* output, bool* damaged,
                                  std::unique_ptr<CAtomicFile>* held) {
    auto file = std::make_unique<CAtomicFile>();
    CFileException error;
    // What was sent was secret: the new file is its owner's alone.
    if (!file->Create(output, &error, 0600)) {
        ShowCreateFailure(error.ErrorText());
        return 0;
    }
    ContentPlace place;
    place.offset = entry.dataOffset;
    place.length = entry.storedLength;
    uint16_t crc = 0;
    if (!stream.Decrypt(key, source, place, file->File(), &crc)) return 0;
    if (held != nullptr) {
        if (!file->Close(&error)) {
            ShowCreateFailure(error.ErrorText());
            return 0;
        }
        *held = std::move(file);
    } else {
        if (!file->Commit(&error)) {
            ShowCreateFailure(error.ErrorText());
            return 0;
        }
        SetFileStatus(output, entry.modified, entry.created, entry.attributes);
    }
    if (crc != entry.dataCrc) {
        ShowMessage(msg::mail::ContentCrc);
        *damaged = true;
        return 0;
    }
    return 1;
}

std::string NumberedFreeName(const std::string& path, const std::function<bool(const std::string&)>& usable) {
    if (usable(path)) return path;
    // The number goes between the stem and the extension, so that the copy opens as the first
    // does ("report.txt" -> "report0.txt"); a name without an extension takes it at its end
    // ("same" -> "same0"). A dot that begins the name starts a hidden name, not an extension.
    const size_t nameAt = path.rfind('/') + 1;  // 0 when there is no folder
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameAt) dot = path.size();
    const std::string stem = path.substr(0, dot), ext = path.substr(dot);
    std::string candidate;
    for (int i = 0; i < kMaxNumberedNames; ++i) {
        candidate = stem + std::to_string(i) + ext;
        if (usable(candidate)) break;
    }
    return candidate;
}

// Takes the path when nothing is there; otherwise the first free numbered name beside it. A mail
// never replaces what the folder holds (an earlier attachment of the same name, a link, a
// folder), nor a path written earlier by this call.
void CMailEncrypt::Generate_RaneFileName(char* path, char* out) {
    auto usable = [this](const std::string& candidate) {
        if (candidate.size() >= static_cast<size_t>(kMaxPath) || m_written.count(candidate) != 0) return false;
        PathInfo info;
        return !LookUpPath(candidate, &info, false) && errno == ENOENT;
    };
    CopyText(out, kMaxPath, NumberedFreeName(path, usable));
}
