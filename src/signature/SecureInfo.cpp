// The security information of a secured file: its head, then only the blocks that describe
// its protection. Damage answers 0 without a message, except a damaged signature record.

#include "signature/SecureInfo.h"

#include <algorithm>
#include <cstring>

#include "engine/Korvane.h"
#include "platform/MessageBox.h"

int CKorvane::GetFileSecureInfo(const char* path, char* kind, int* recipientCount, Decrypt_Info* /*recipients*/,
                                File_SignInfo* signInfo, Verify_IndexInfo* /*sender*/, char* nameText) {
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
    if (recipientCount) *recipientCount = std::clamp<int32_t>(head.count, 0, kMaxSecureInfoRecipients);

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
        default:
            return 0;
    }
}

void CKorvane::Test() { AfxMessageBox("test"); }
