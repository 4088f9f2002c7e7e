// The 300-byte head every secured file begins with: how it is sealed (each protected field
// enciphered on its own, a CRC over the stored bytes), written, read and checked. Every reader
// of a secured file goes through ReadEncryptedFileHead and CheckEncryptedFileHead, each with
// its own messages, so that the checks and their order are the same for all.

#include <charconv>
#include <cstring>

#include "engine/Crc16.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

char* FieldAt(EncryptFlag* head, const HeadField& f) { return reinterpret_cast<char*>(head) + f.offset; }

// A version's two characters read as "d.d". Locale-independent on purpose: a file's version
// must not compare differently under a locale whose decimal point is a comma. Text that is not
// a number reads as 0 (accepted), as the standard conversion reads it.
double VersionNumber(const char version[2]) {
    const char text[3] = {version[0], '.', version[1]};
    double value = 0;
    std::from_chars(text, text + 3, value);
    return value;
}

bool KindAccepted(uint8_t kind, uint8_t kinds) {
    if (kinds == 0) return true;
    bool singleBit = kind != 0 && (kind & (kind - 1)) == 0;
    return singleBit && (kind & kinds) != 0;
}

void Show(const MessageDef* message) {
    if (message) ShowMessage(*message);
}

// A CRC message handed in as text through the engine's exported head readers: shown by its id
// when it is one of the head's own.
void Show(const char* message) {
    if (message) ShowMessage(FindMessage(msg::formats::kTable, message));
}

}  // namespace

void CKorvane::SetEncryptAlogID(EncryptFlag* head) {
    if (head == nullptr) return;
    int cipher = 0, digest = 0;
    ChooseIdentifiers(&cipher, &digest);
    head->cipherId = cipher;
    head->digestId = digest;
    head->digestId2 = digest;
    head->one = 1;
    std::memcpy(head->magic, "KP", 2);
    std::memcpy(head->version, "10", 2);
}

void CKorvane::InitEncryptFlag(EncryptFlag* head, uint8_t kind) {
    if (head == nullptr) return;
    std::memset(head, 0, sizeof *head);
    std::memcpy(head->magic, "KF", 2);
    GetEncryptVer(head->version);
    head->kind = kind;
    int cipher = 0, digest = 0;
    ChooseIdentifiers(&cipher, &digest);
    head->digestId = digest;
    head->digestId2 = digest;
    if (kind != kKindSignUser && kind != kKindSignMail) {
        head->cipherId = cipher;
        head->one = 1;
    }
}

int CKorvane::SealEncryptFlag(EncryptFlag* head) {
    if (head == nullptr) return 0;
    // Any field left plain would make a head no reader can open: stop at the first failure.
    for (const HeadField& f : kProtectedHeadFields) {
        char* field = FieldAt(head, f);
        if (!SerialEncrypt(field, static_cast<int>(f.size), field)) return 0;
    }
    CRC_Init();
    for (const HeadField& f : kProtectedHeadFields)
        CRC_Update(reinterpret_cast<const unsigned char*>(FieldAt(head, f)), static_cast<int>(f.size));
    head->headCrc = CRC_Final();
    return 1;
}

int CKorvane::UnsealEncryptFlag(EncryptFlag* head, const char* crcMessage) {
    if (head == nullptr) return 0;
    CRC_Init();
    for (const HeadField& f : kProtectedHeadFields)
        CRC_Update(reinterpret_cast<const unsigned char*>(FieldAt(head, f)), static_cast<int>(f.size));
    if (!StoredCrcMatches(head->headCrc, CRC_Final())) {
        Show(crcMessage);
        return 0;
    }
    for (const HeadField& f : kProtectedHeadFields) {
        char* field = FieldAt(head, f);
        if (!SerialDecrypt(field, static_cast<int>(f.size), field)) return 0;
    }
    return 1;
}

int CKorvane::WriteEncryptedFileHead(CFile* file, const EncryptFlag* plainHead) {
    if (file == nullptr || plainHead == nullptr) return 0;
    EncryptFlag sealed = *plainHead;
    if (!SealEncryptFlag(&sealed)) return 0;
    return fSeekToBegin(file) && fWriteBuf(file, &sealed, sizeof sealed);
}

int CKorvane::ReadEncryptedFileHead(CFile* file, EncryptFlag* head, const char* crcMessage) {
    EncryptFlag stored;
    unsigned long got = 0;
    if (file == nullptr || head == nullptr) return 0;
    if (!fSeekToBegin(file) || !fReadBuf(file, &stored, sizeof stored, &got, 1)) return 0;
    if (!UnsealEncryptFlag(&stored, crcMessage)) return 0;
    *head = stored;
    return 1;
}

int CKorvane::GetEncryptedFileHead(const char* path, EncryptFlag* head, int showErrors) {
    CFile file;
    if (path == nullptr || head == nullptr || !OpenForReading(path, file, showErrors)) return 0;
    int ok = ReadEncryptedFileHead(&file, head, showErrors ? msg::formats::HeadCrc123.text : nullptr);
    file.Abort();
    return ok;
}

int CKorvane::CheckEncryptedFileHead(const EncryptFlag& head, const HeadRules& rules) {
    if (std::memcmp(head.magic, "KF", 2) != 0) {
        Show(rules.notSecured);
        return 0;
    }
    auto kindOk = [&] {
        if (KindAccepted(head.kind, rules.kinds)) return true;
        Show(rules.wrongKind);
        return false;
    };
    if (rules.kindBeforeVersion && !kindOk()) return 0;
    char own[2];
    GetEncryptVer(own);
    double version = VersionNumber(head.version);
    if (version > VersionNumber(own)) {
        if (rules.tooNew) ShowMessage(*rules.tooNew, version);
        return 0;
    }
    if (!rules.kindBeforeVersion && !kindOk()) return 0;
    bool algorithmsOk = true;
    if (rules.checkCipher) algorithmsOk = IsSupportedCipher(head.cipherId);
    if (algorithmsOk && rules.checkDigestAndOne) algorithmsOk = IsSupportedDigest(head.digestId2) && head.one == 1;
    if (algorithmsOk && rules.checkDigestOnly) algorithmsOk = IsSupportedDigest(head.digestId2);
    if (!algorithmsOk) {
        Show(rules.badAlgorithm);
        return 0;
    }
    return 1;
}
