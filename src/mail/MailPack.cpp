// Packing files into a mail package: the header and the optional signer block and recipient
// records, a placeholder index, then each file's data appended behind it with its entry
// rewritten in place, and last the signature block and the end entry. The package is written
// under a temporary name beside its place and moved there only when it is complete.

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <ctime>
#include <vector>

#include "dialogs/MessagePump.h"
#include "engine/Messages.h"
#include "formats/PackageRecords.h"
#include "logon/ILogon.h"
#include "mail/MailEncrypt.h"
#include "mail/Messages.h"
#include "platform/AtomicFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/PathInfo.h"
#include "platform/Text.h"

namespace {

constexpr long kMaxNameCandidates = 100000000;

bool NameTaken(const char* path) {
    ILogon* logon = LogonLibrary();
    return NameIsTaken(path) || (logon != nullptr && logon->FileExists(path) != 0);
}

// Whether every file of the list can be stored when the data begins at `dataStart`: no content
// may start beyond the packages' limit, and none may be 2 GiB or more. Asked of the files'
// sizes before any of them is read, so that a set that cannot fit is refused at once; a file
// that cannot be looked at is left to the packing, which says why it cannot be opened. The
// content stream checks each file again as it goes (a file may grow meanwhile).
bool MailSetFits(const char* list, uint64_t dataStart) {
    uint64_t start = dataStart;
    for (const char* entry = list; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
        PathInfo info;
        if (!LookUpPath(entry, &info, true)) continue;
        const auto size = static_cast<uint64_t>(info.identity.size);
        if (!ContentFits(static_cast<int64_t>(start), size)) return false;
        start += size;
    }
    return true;
}

}  // namespace

CMailEncrypt::CMailEncrypt(const EngineContext& context) : CKorvane(context) {
    std::memcpy(m_version, kMailVersion, sizeof m_version);
    std::memcpy(m_magic, kMailMagic, sizeof m_magic);
}

CMailEncrypt::~CMailEncrypt() = default;

void CMailEncrypt::Generate_AffixFileName(char* dir, char* out) try {
    EngineCall call(m_context);
    for (long n = 0; n < kMaxNameCandidates; ++n) {
        // The time and the counter only stir the generator; the name's characters are random.
        std::time_t now = std::time(nullptr);
        std::tm gmt{};
        gmtime_r(&now, &gmt);
        char text[64];
        size_t length = std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S GMT", &gmt);
        length += static_cast<size_t>(std::snprintf(text + length, sizeof text - length, "%ld", n));
        RAND_seed(text, static_cast<int>(length));
        unsigned char bytes[8] = {};
        RAND_bytes(bytes, sizeof bytes);
        char chars[5] = {};
        for (int i = 0; i < 4; ++i)
            chars[i] = std::isalnum(bytes[i]) && bytes[i] < 0x80 ? static_cast<char>(bytes[i])
                                                                 : static_cast<char>('0' + bytes[i] % 10);
        std::snprintf(out, kMaxPath, "%sQuillet附件_%s.qlt", dir, chars);
        if (!NameTaken(out)) return;
    }
} catch (...) {
    EntryFailed(m_context);
}

int CMailEncrypt::GetFileNameFromAllFiles(char* list, int index, char* out) {
    if (list == nullptr || index < 0) return 0;
    const char* entry = list;
    for (int i = 0; *entry != '\0'; ++i) {
        size_t length = std::strlen(entry);
        if (i == index) {
            if (length >= static_cast<size_t>(kMaxPath)) return 0;
            std::memcpy(out, entry, length + 1);
            return 1;
        }
        entry += length + 1;
    }
    return 0;
}

int CMailEncrypt::EncryptMail(ENCRYPT_MAIL_ARG* arg) try {
    EngineCall call(m_context);
    ILogon* logon = LogonLibrary();
    std::string user, folder;
    SecretText secret;
    int userType = 0;
    if (arg == nullptr || logon == nullptr || !logon->GetLogonUser(user, secret, userType)) return 0;
    if (!logon->GetMailFolder(folder) || folder.empty() || folder.size() >= static_cast<size_t>(kMaxPath) - 20)
        return 0;
    if (folder.back() != '/') folder += '/';
    Generate_AffixFileName(folder.data(), arg->szMailFile);

    MailHeader header{};
    std::memcpy(header.magic, m_magic, 2);
    std::memcpy(header.version, m_version, 2);
    header.mailType = arg->nMailType;
    header.mailFlag = arg->nMailFlag;
    ChooseIdentifiers(&header.cipherId, &header.digestId);
    header.digestId2 = header.digestId;
    header.one = 1;
    const bool encrypt = (arg->nMailFlag & kMailFlagEncrypt) != 0;
    if (arg->nMailType == kMailTypePublicKey && encrypt) {
        Generate_EncryptKey(header.cipherId, reinterpret_cast<char*>(arg->Key), &arg->nKeyLen,
                            reinterpret_cast<char*>(arg->IV), &arg->nIVLen);
        if (arg->nKeyLen <= 0) {
            ShowMessage(msg::mail::WrapFailed);
            arg->szMailFile[0] = '\0';
            return 0;
        }
    }
    // Every entry must be a path the index can name: none is left out silently.
    int count = 0;
    for (const char* entry = arg->pszFiles; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
        if (std::strlen(entry) >= static_cast<size_t>(kMaxPath)) {
            ShowMessage(msg::mail::CannotOpen, entry);
            arg->szMailFile[0] = '\0';
            return 0;
        }
        ++count;
    }
    header.recipientCount =
        arg->nMailType == kMailTypePublicKey ? logon->CountListItems(arg->pszRecipients ? arg->pszRecipients : "") : 0;
    header.fileCount = count;
    header.userData = arg->nUserData;

    CAtomicFile package;
    CFileException error;
    int result = 0;
    if (!package.Create(arg->szMailFile, &error)) {
        ShowMessage(msg::mail::CreateFailed);
    } else {
        // Whatever stops the writing, the session key is wiped and the package dropped below.
        try {
            result = WriteMailPackage(package.File(), arg, header, count, user, secret);
        } catch (...) {
            result = EntryFailed(m_context, 0);
        }
        if (result == 1 && !package.Commit(&error)) {
            ShowMessage(msg::engine::WriteFailed, error.ErrorText());
            result = 0;
        }
    }
    if (result != 1) {
        package.Discard();
        arg->szMailFile[0] = '\0';
        if (arg->nMailType == kMailTypePublicKey && encrypt) {
            OPENSSL_cleanse(arg->Key, sizeof arg->Key);
            OPENSSL_cleanse(arg->IV, sizeof arg->IV);
        }
    }
    return result;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CMailEncrypt::WriteMailPackage(CFile* package, ENCRYPT_MAIL_ARG* arg, const MailHeader& header, int count,
                                   const std::string& user, const SecretText& secret) {
    ILogon* logon = LogonLibrary();
    const bool sign = (header.mailFlag & kMailFlagSign) != 0;
    if (!WriteMailHeader(*this, package, header)) return 0;
    if (sign) {
        std::string signer;
        logon->GetListItem(std::string(arg->szSigner, strnlen(arg->szSigner, sizeof arg->szSigner)), 1, signer);
        if (!WriteSignerBlock(*this, package, signer)) return 0;
    }
    if (header.mailType == kMailTypePublicKey && (header.mailFlag & kMailFlagEncrypt) &&
        !WriteRecipients(package, arg, header.recipientCount, user))
        return 0;

    // The index as placeholders first: each entry's place is known before any data is appended.
    std::vector<uint64_t> entries;
    char path[kMaxPath];
    for (int k = 0; k < count; ++k) {
        GetFileNameFromAllFiles(arg->pszFiles, k, path);
        entries.push_back(package->GetPosition());
        if (!WritePlainFileEntry(*this, package, LogonSplitName(path))) return 0;
    }
    const uint64_t endEntry = package->GetPosition();
    if (!WritePlainEndEntry(*this, package)) return 0;
    if (!MailSetFits(arg->pszFiles, package->GetPosition())) {
        ShowMessage(msg::mail::TooLarge);
        return 0;
    }

    if (sign && !Evp_SignInit(header.digestId)) {
        ShowMessage(msg::mail::SignInitFailed);
        return 0;
    }
    ContentStream stream = MailContentStream(sign ? ContentStream::Digest::kSign : ContentStream::Digest::kNone);
    const ContentKey key(arg->Key, sizeof arg->Key, arg->IV, sizeof arg->IV, header.cipherId);
    const ContentKey* cipher = (header.mailFlag & kMailFlagEncrypt) ? &key : nullptr;
    for (int k = 0; k < count; ++k) {
        if (!GetFileNameFromAllFiles(arg->pszFiles, k, path)) return 0;
        DoEvents();
        if (!PackMailFile(stream, cipher, package, path, entries[static_cast<size_t>(k)])) return 0;
        DoEvents();
    }
    if (!fSeekToEnd(package)) return 0;
    const uint64_t signatureOffset = package->GetPosition();
    if (sign) {
        stream.FinishDigest();
        std::vector<unsigned char> signature(kMailSignatureMax);
        unsigned int length = 0;
        if (!Evp_SignFinal(signature.data(), &length, user.c_str(), secret.c_str()) ||
            !WriteSignatureBlock(*this, package, signature.data(), length))
            return 0;
    }
    if (package->GetPosition() > static_cast<uint64_t>(INT32_MAX)) {
        ShowMessage(msg::mail::TooLarge);
        return 0;
    }
    return fSeek(package, static_cast<long>(endEntry), CFile::begin) &&
                   WriteEndEntry(*this, package, static_cast<int32_t>(signatureOffset))
               ? 1
               : 0;
}

// One record per recipient: the session key and IV wrapped with the recipient's installed
// certificate, which must not have changed since the user confirmed it.
int CMailEncrypt::WriteRecipients(CFile* package, ENCRYPT_MAIL_ARG* arg, int count, const std::string& user) {
    ILogon* logon = LogonLibrary();
    CPubCertFile certs;
    CSignPubCert confirmations;
    struct Close {
        CPubCertFile& a;
        CSignPubCert& b;
        ~Close() { a.CloseFile(), b.CloseFile(); }
    } close{certs, confirmations};
    if (!certs.OpenFile() || !confirmations.OpenFile()) return 0;
    if (arg->nKeyLen < 0 || arg->nIVLen < 0 || static_cast<size_t>(arg->nKeyLen) + arg->nIVLen > kMailKeyRoom) {
        ShowMessage(msg::mail::WrapFailed);
        return 0;
    }
    std::memcpy(arg->Key + arg->nKeyLen, arg->IV, static_cast<size_t>(arg->nIVLen));
    const std::string list = arg->pszRecipients ? arg->pszRecipients : "";
    for (int i = 1; i <= count; ++i) {
        std::string wanted;
        logon->GetListItem(list, i, wanted);
        Lumo_PubCert cert;
        bool found = false;
        for (int more = certs.ReadFirstRec(cert); more && !found; more = found ? 0 : certs.ReadNextRec(cert))
            found = LogonEqualNoCase(cert.name, wanted);
        if (!found) {
            ShowMessage(msg::mail::NoCertificate, wanted);
            return 0;
        }
        if (confirmations.VerifyPubCert(cert, user) == kCertModified) {
            ShowMessage(msg::mail::CertModified, cert.name);
            return 0;
        }
        MailRecipient record;
        record.name = cert.name;
        record.ivLength = arg->nIVLen;
        record.wrapped.resize(kLogonWrapOutRoom);
        int wrapped = logon->WrapSessionKey(arg->nKeyLen + arg->nIVLen, arg->Key, record.wrapped.data(), cert);
        if (wrapped <= 0 || static_cast<size_t>(wrapped) > kMailWrappedKeyMax) {
            ShowMessage(msg::mail::WrapFailed);
            return 0;
        }
        record.wrapped.resize(static_cast<size_t>(wrapped));
        if (!WriteRecipientRecord(*this, package, record)) return 0;
    }
    return 1;
}

// Appends one file's data behind the package and rewrites its index entry at entryPosition.
int CMailEncrypt::PackMailFile(ContentStream& stream, const ContentKey* key, CFile* package, const char* path,
                               uint64_t entryPosition) {
    CFile source;
    if (!source.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
        ShowMessage(msg::mail::CannotOpen, path);
        return 0;
    }
    ContentPlace place;
    if (!stream.Encrypt(key, source, package, &place)) return 0;
    MailFileEntry entry;
    unsigned long size = 0;
    if (!GetFileStatus(&source, entry.modified, entry.created, &size, &entry.attributes)) {
        ShowMessage(msg::mail::CannotOpen, path);
        return 0;
    }
    source.Abort();
    entry.dataOffset = place.offset;
    entry.name = LogonSplitName(path);
    entry.storedLength = place.length;
    entry.dataCrc = place.crc;
    entry.size = static_cast<int32_t>(size);
    return fSeek(package, static_cast<long>(entryPosition), CFile::begin) && WriteFileEntry(*this, package, entry) ? 1
                                                                                                                   : 0;
}
