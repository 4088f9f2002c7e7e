// The walk and the encryption pass of an envelope package: behind the template head the
// sender record and one recipient record per recipient, then the package records; the pass
// appends the contents, signs their plaintext and closes the package with the signature
// trailer.

#include <openssl/crypto.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/Korvane.h"
#include "envelope/Messages.h"
#include "formats/EncryptArgs.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "logon/ILogon.h"
#include "package/Messages.h"
#include "package/PackageWalker.h"
#include "package/SealPass.h"
#include "platform/MessageBox.h"

namespace {

// Sender and recipient records, written on the walk's first call.
int WriteEnvelopeBlock(CKorvane& engine, CFile* package, const EncryptFlag& head, const Search_Data& data) {
    ILogon* logon = LogonLibrary();
    if (!logon) return 0;
    const std::string userId(data.userId, strnlen(data.userId, sizeof data.userId));
    LogonKeyRecord key;
    LogonUserRecord user;
    if (!logon->GetUserRecords(key, user, userId)) return 0;
    std::string keyName;
    if (head.kind == kKindEnvelope) {
        keyName = user.certName;
    } else if (head.kind == kKindShared) {
        keyName = user.sharedKeyName;
    } else {
        ShowMessage(msg::formats::BadArgument);
        return 0;
    }
    if (!WriteSenderRecord(engine.Records(), package, logon->GetSenderIdentity(userId, static_cast<char>(head.kind)),
                           keyName))
        return 0;

    // Key then IV in one block, wrapped for every recipient.
    if (data.recipientCount < 1 || data.recipientCount > static_cast<int32_t>(kMaxRecipients) || data.keyLength <= 0 ||
        data.ivLength < 0 || data.keyLength + data.ivLength > static_cast<int32_t>(sizeof data.key)) {
        ShowMessage(msg::formats::BadArgument);
        return 0;
    }
    std::vector<unsigned char> block(data.key, data.key + data.keyLength);
    block.insert(block.end(), data.iv, data.iv + data.ivLength);
    std::vector<unsigned char> wrapped(kLogonWrapOutRoom);
    int result = 1;
    for (int32_t i = 0; i < data.recipientCount && result; ++i) {
        const Decrypt_UserInfo& r = data.recipients[i];
        // Number 0: no registered user, the installed certificate the entry names.
        Lumo_PubCert cert;
        cert.name = std::string(r.certName, strnlen(r.certName, sizeof r.certName));
        int w = r.userNumber != 0
                    ? logon->WrapSessionKey(static_cast<int>(block.size()), block.data(), wrapped.data(), r.userNumber)
                    : logon->WrapSessionKey(static_cast<int>(block.size()), block.data(), wrapped.data(), cert);
        if (w <= 0 || static_cast<size_t>(w) > kWrappedKeyRoom) {
            ShowMessage(msg::envelope::WrapFailed);
            result = 0;
            break;
        }
        result =
            WriteRecipientRecord(engine.Records(), package,
                                 std::string_view(r.displayText, strnlen(r.displayText, sizeof r.displayText)),
                                 std::string_view(r.keyText, strnlen(r.keyText, sizeof r.keyText)),
                                 std::span<const unsigned char>(wrapped.data(), static_cast<size_t>(w)), data.ivLength)
                ? 1
                : 0;
    }
    OPENSSL_cleanse(block.data(), block.size());
    return result;
}

}  // namespace

int CKorvane::Envelop_SearchFile(const char* pathList, CFile* package, const Search_Data& data, int* recordStart,
                                 int* itemCount) try {
    EngineCall call(m_context);
    PackageWalker walker(*this, m_baseFolder, m_workPath,
                         [&](CFile* p, const EncryptFlag& head) { return WriteEnvelopeBlock(*this, p, head, data); });
    return walker.WalkList(pathList, package, recordStart, itemCount);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::Envelop_SearchSingleFile(const char* path, CFile* package, const Search_Data& data, int* recordStart,
                                       int* itemCount) try {
    EngineCall call(m_context);
    PackageWalker walker(*this, m_baseFolder, m_workPath,
                         [&](CFile* p, const EncryptFlag& head) { return WriteEnvelopeBlock(*this, p, head, data); });
    return walker.Walk(path, package, recordStart, itemCount);
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::EnvelopEncryptFiles(CFile* package, int recordStart, const Encrypt_Data& data) try {
    EngineCall call(m_context);
    if (!Evp_SignInit(data.digestId)) {
        ShowMessage(msg::envelope::SignInitFailed);
        return 0;
    }
    ContentKey key(data);
    SealPlan plan;
    plan.key = &key;
    plan.itemCount = data.itemCount;
    plan.notifyWindow = data.notifyWindow;
    plan.showProgress = m_showProgressWindow != 0;
    plan.digest = ContentStream::Digest::kSign;
    plan.finish = [&](CFile* p, int32_t* trailerOffset) {
        const uint64_t end = p->GetLength();
        if (end > INT32_MAX) {  // the contents keep within the field; this is the last guard
            ShowMessage(msg::package::TooLarge);
            return 0;
        }
        *trailerOffset = static_cast<int32_t>(end);
        std::vector<unsigned char> signature(kTrailerSignatureRoom);
        unsigned int length = 0;
        if (!Evp_SignFinal(signature.data(), &length, data.userId, data.password)) return 0;
        return WriteSignatureTrailer(Records(), p, m_digestOnly,
                                     std::span<const unsigned char>(signature.data(), length))
                   ? 1
                   : 0;
    };
    return SealPackage(*this, m_baseFolder, m_workPath, package, recordStart, plan);
} catch (...) {
    return EntryFailed(m_context, 0);
}
