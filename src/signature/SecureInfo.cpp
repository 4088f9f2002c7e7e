// The security information of a secured file: its head, then only the blocks that describe
// its protection. Damage answers 0 without a message, except a damaged signature record.

#include "signature/SecureInfo.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/Korvane.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/MessageBox.h"
#include "signature/Messages.h"

int CKorvane::GetFileSecureInfo(const char* path, char* kind, int* recipientCount, Decrypt_Info* recipients,
                                File_SignInfo* signInfo, Verify_IndexInfo* sender, char* nameText) try {
    EngineCall call(m_context);
    if (nameText) nameText[0] = '\0';
    CFile file;
    if (path == nullptr || !OpenForReading(path, file, 0)) return 0;
    // Any file may be asked about: one shorter than a head is simply not secured.
    EncryptFlag head;
    unsigned long got = 0;
    if (!fReadBuf(&file, &head, sizeof head, &got, 0) || got != sizeof head || !UnsealEncryptFlag(&head, nullptr) ||
        !CheckEncryptedFileHead(head, kAnyHeadRules))
        return 0;
    if (head.itemCount > 1 && nameText) std::strcpy(nameText, kMixedFilesText);
    if (kind) *kind = static_cast<char>(head.kind);
    const int32_t count = std::clamp<int32_t>(head.count, 0, kMaxSecureInfoRecipients);
    if (recipientCount) *recipientCount = count;

    switch (head.kind) {
        case kKindPassword:
            return 1;
        case kKindSignUser:
        case kKindSignMail: {
            auto record = std::make_unique<File_SignInfo>();
            if (!ReadSignatureRecord(*this, &file, record.get())) return 0;
            if (signInfo) *signInfo = *record;
            return 1;
        }
        case kKindEnvelope:
        case kKindShared: {
            // Who sent it and for whom; a package of one file also tells that file's name.
            const bool oldLayout = IsVersion10(head);
            auto blocks = std::make_unique<EnvelopeBlocks>();
            if (!ReadEnvelopeBlocks(Records(), &file, oldLayout, static_cast<size_t>(count), *blocks, true)) return 0;
            PackageRecord first;
            if (head.itemCount == 1) {
                // The one file may lie in folders of its own: their records come first.
                PackageRecordReader reader(Records(), &file, oldLayout, true);
                do {
                    if (!reader.Next(first) || first.type == kRecordEnd) return 0;
                } while (first.type != kRecordFile);
                if (first.name.size() >= kMaxPath) return 0;
            }
            if (sender) *sender = blocks->sender;
            if (recipients) std::copy(blocks->recipients.begin(), blocks->recipients.end(), recipients);
            if (nameText && head.itemCount == 1) std::memcpy(nameText, first.name.c_str(), first.name.size() + 1);
            return 1;
        }
        default:
            return 0;
    }
} catch (...) {
    return EntryFailed(m_context, 0);
}

void CKorvane::Test() try {
    EngineCall call(m_context);
    ShowMessage(msg::signature::Test);
} catch (...) {
    EntryFailed(m_context);
}

int EnvelopeHoldsBareDigest(CKorvane& engine, const char* path) {
    CFile file;
    if (path == nullptr || !CKorvane::OpenForReading(path, file, 0)) return -1;
    EncryptFlag head;
    unsigned long got = 0;
    try {
        if (!engine.fReadBuf(&file, &head, sizeof head, &got, 0) || got != sizeof head ||
            !engine.UnsealEncryptFlag(&head, nullptr) || !engine.CheckEncryptedFileHead(head, kAnyHeadRules) ||
            (head.kind != kKindEnvelope && head.kind != kKindShared) || head.count < 0 ||
            static_cast<size_t>(head.count) > kMaxRecipients)
            return -1;
        const bool oldLayout = IsVersion10(head);
        auto blocks = std::make_unique<EnvelopeBlocks>();
        if (!ReadEnvelopeBlocks(engine.Records(), &file, oldLayout, static_cast<size_t>(head.count), *blocks, true))
            return -1;
        PackageRecordReader reader(engine.Records(), &file, oldLayout, true);
        PackageRecord record;
        do {
            if (!reader.Next(record)) return -1;
        } while (record.type != kRecordEnd);
        auto trailer = std::make_unique<SignatureTrailer>();
        if (record.second < 0 || static_cast<uint64_t>(record.second) >= file.GetLength()) return -1;
        file.Seek(record.second, CFile::begin);
        if (!ReadSignatureTrailer(engine.Records(), &file, oldLayout, *trailer, true)) return -1;
        return trailer->digestOnly != 0 ? 1 : 0;
    } catch (const CFileException&) {
        return -1;
    }
}
