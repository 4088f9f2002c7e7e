// The engine's entries for the 300-byte head every secured file begins with: a fresh head, and
// the checks of a deciphered one. Sealing, writing and reading are the head layout's
// (formats/EncryptFlag.h), over the engine's record I/O. Every reader of a secured file goes
// through ReadEncryptedFileHead and CheckEncryptedFileHead, each with its own messages, so that
// the checks and their order are the same for all.

#include <charconv>
#include <cstring>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/Messages.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "platform/UiHost.h"

namespace {

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

}  // namespace

void CKorvane::SetEncryptAlogID(EncryptFlag* head) try {
    EngineCall call(m_context);
    if (head == nullptr) return;
    int cipher = 0, digest = 0;
    ChooseIdentifiers(&cipher, &digest);
    head->cipherId = cipher;
    head->digestId = digest;
    head->digestId2 = digest;
    head->one = 1;
    std::memcpy(head->magic, "KP", 2);
    std::memcpy(head->version, "10", 2);
} catch (...) {
    EntryFailed(m_context);
}

void CKorvane::InitEncryptFlag(EncryptFlag* head, uint8_t kind) try {
    EngineCall call(m_context);
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
} catch (...) {
    EntryFailed(m_context);
}

int CKorvane::SealEncryptFlag(EncryptFlag* head) try {
    EngineCall call(m_context);
    if (head == nullptr) return 0;
    return SealHead(m_records, *head) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::UnsealEncryptFlag(EncryptFlag* head, const char* crcMessage) try {
    EngineCall call(m_context);
    if (head == nullptr) return 0;
    return UnsealHead(m_records, *head, crcMessage) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::WriteEncryptedFileHead(CFile* file, const EncryptFlag* plainHead) try {
    EngineCall call(m_context);
    if (file == nullptr || plainHead == nullptr) return 0;
    return WriteHead(m_records, file, *plainHead) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::ReadEncryptedFileHead(CFile* file, EncryptFlag* head, const char* crcMessage) try {
    EngineCall call(m_context);
    if (file == nullptr || head == nullptr) return 0;
    return ReadHead(m_records, file, *head, crcMessage) ? 1 : 0;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::GetEncryptedFileHead(const char* path, EncryptFlag* head, int showErrors) try {
    EngineCall call(m_context);
    // A caller that only asks what a file is hears nothing, not even the checked reader's word on
    // a file shorter than a head: the caller that goes on to read the file says that, once.
    struct QuietUnlessShown {
        QuietHost quiet;
        const bool on;
        IUiHost* previous = nullptr;
        explicit QuietUnlessShown(bool quietly) : on(quietly) {
            if (on) previous = BindThreadUiHost(&quiet);
        }
        ~QuietUnlessShown() {
            if (on) BindThreadUiHost(previous);
        }
    } hush(showErrors == 0);
    CFile file;
    if (path == nullptr || head == nullptr || !OpenForReading(path, file, showErrors)) return 0;
    int ok = ReadEncryptedFileHead(&file, head, showErrors ? msg::formats::HeadCrc123.text : nullptr);
    file.Abort();
    return ok;
} catch (...) {
    return EntryFailed(m_context, 0);
}

int CKorvane::CheckEncryptedFileHead(const EncryptFlag& head, const HeadRules& rules) try {
    EngineCall call(m_context);
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
} catch (...) {
    return EntryFailed(m_context, 0);
}
