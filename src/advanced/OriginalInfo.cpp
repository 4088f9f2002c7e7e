// What a generated-name package holds, for the user it was encrypted for: the stored name and
// modification time of its single file, or that it holds several items. Only the head, the
// sender and recipient records and the first package record are read; every failure is the
// answer 0, without a word.

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "advanced/AdvanceEmcrypt.h"
#include "formats/EnvelopeRecords.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "signature/SecureInfo.h"

namespace {

// The recipient record belongs to the user: by the first line of its text (kind 2), or by the
// certificate its key text stands for (kind 8).
bool BelongsTo(ILogon& logon, uint8_t kind, const Decrypt_Info& record, const std::string& userId,
               const Lumo_PrivateKey& privateKey) {
    if (kind == kKindShared) return LogonEqualNoCase(logon.MapRecipientKeyText(record.keyText, 1), privateKey.name);
    std::string_view text(record.recipientText);
    return LogonEqualNoCase(text.substr(0, text.find('\n')), userId);
}

// Packages of version "10" prove the password by unwrapping their session key (and IV); later
// ones are proven by the access check alone, as nothing of their contents is decrypted here.
bool UnwrapOldLayout(ILogon& logon, uint8_t kind, const Decrypt_Info& record, const std::string& userId,
                     const char* password) {
    std::vector<unsigned char> out(kLogonWrapOutRoom);
    auto unwrap = [&](int32_t length, const unsigned char* wrapped) {
        return logon.UnwrapSessionKey(length, wrapped, out.data(), userId, record.keyText, kind, password,
                                      static_cast<int>(std::strlen(password))) > 0;
    };
    bool ok = unwrap(record.wrappedLength, record.wrapped) &&
              (record.vectorLength <= 0 || unwrap(record.vectorLength, record.vector));
    OPENSSL_cleanse(out.data(), out.size());
    return ok;
}

}  // namespace

int CAdvanceEmcrypt::GetFileOriInfo(const char* path, const char* userId, const char* password,
                                    Lumo_PrivateKey privateKey, char* nameText, char* timeText, int32_t* size) try {
    EngineCall call(m_context);
    if (nameText) nameText[0] = '\0';
    ILogon* logon = LogonLibrary();
    CFile file;
    if (path == nullptr || userId == nullptr || password == nullptr || nameText == nullptr || timeText == nullptr ||
        logon == nullptr || !OpenForReading(path, file, 0))
        return 0;
    try {
        EncryptFlag head;
        if (file.Read(&head, sizeof head) != sizeof head || !UnsealEncryptFlag(&head, nullptr) ||
            !CheckEncryptedFileHead(head, kAnyHeadRules))
            return 0;
        if (head.itemCount > 1) std::strcpy(nameText, kMixedFilesText);
        if (head.kind == kKindPassword) return 1;
        if (head.kind != kKindEnvelope && head.kind != kKindShared) return 0;

        const bool oldLayout = IsVersion10(head);
        auto sender = std::make_unique<Verify_IndexInfo>();
        if (!ReadSenderRecord(Records(), &file, *sender, true)) return 0;
        auto record = std::make_unique<Decrypt_Info>();
        auto own = std::make_unique<Decrypt_Info>();
        bool found = false;
        const int32_t count = std::clamp<int32_t>(head.count, 0, kMaxRecipients);
        for (int32_t i = 0; i < count; ++i) {
            if (!ReadRecipientRecord(Records(), &file, oldLayout, *record, true)) return 0;
            if (!found && BelongsTo(*logon, head.kind, *record, userId, privateKey)) {
                *own = *record;
                found = true;
            }
        }
        OPENSSL_cleanse(record.get(), sizeof *record);
        if (!found) return 0;
        std::string keyText = own->keyText;
        if (head.kind == kKindShared) keyText = logon->MapRecipientKeyText(keyText, 1);
        if (keyText.size() >= sizeof own->keyText) return 0;
        std::memcpy(own->keyText, keyText.c_str(), keyText.size() + 1);
        bool allowed = (!oldLayout || UnwrapOldLayout(*logon, head.kind, *own, userId, password)) &&
                       logon->CheckRecipientAccess(userId, own->keyText, head.kind, password,
                                                   static_cast<int>(std::strlen(password))) != 0;
        OPENSSL_cleanse(own.get(), sizeof *own);
        if (!allowed) return 0;
        // Several items, or a folder tree, have no one name, time or size: the first record's
        // would pass for the whole package's.
        auto several = [&] {
            std::strcpy(nameText, kMixedFilesText);
            timeText[0] = '\0';
            if (size) *size = 0;
            return 1;
        };
        if (head.itemCount > 1) return several();

        // Names of this engine's packages are stored as they are: the head check refuses any
        // version newer than the engine's, so no stored name needs deciphering.
        PackageRecord first;
        PackageRecordReader reader(Records(), &file, oldLayout, true);
        if (!reader.Next(first)) return 0;
        if (first.type == kRecordDirectory) return several();
        if (first.type != kRecordFile || first.name.size() >= kMaxPath) return 0;
        std::memcpy(timeText, first.modified, sizeof first.modified);
        std::memcpy(nameText, first.name.c_str(), first.name.size() + 1);
        if (size) *size = first.size;
        return 1;
    } catch (const CFileException&) {
        return 0;
    }
} catch (...) {
    return EntryFailed(m_context, 0);
}
