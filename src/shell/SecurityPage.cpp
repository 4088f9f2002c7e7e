#include "shell/SecurityPage.h"

#include <algorithm>
#include <cstring>

#include "engine/Korvane.h"
#include "platform/Text.h"
#include "shell/Messages.h"

namespace {

// Who a file says encrypted or signed it; only a verification can prove it.
std::string StatedNotProven() { return MessageText(msg::shell::StatedNotProven); }

// A recipient's display text is two lines (name, then e-mail); the page shows them on one.
std::string OneLine(const char* text) {
    std::string line = text;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

}  // namespace

FileSecurity ReadFileSecurity(CKorvane& engine, const std::string& path) {
    FileSecurity info;
    info.recipients = std::make_unique<Decrypt_Info[]>(kMaxSecureInfoRecipients);
    info.signInfo = std::make_unique<File_SignInfo>();
    info.sender = std::make_unique<Verify_IndexInfo>();
    char name[kMaxPath] = {};
    info.result = engine.GetFileSecureInfo(path.c_str(), &info.kind, &info.recipientCount, info.recipients.get(),
                                           info.signInfo.get(), info.sender.get(), name);
    info.nameText = name;
    if (info.result == 1 && (info.kind == kKindEnvelope || info.kind == kKindShared))
        info.bareDigest = EnvelopeHoldsBareDigest(engine, path.c_str()) == 1;
    return info;
}

std::vector<std::string> SecurityPageLines(const FileSecurity& info) {
    if (info.result != 1) return {MessageText(msg::shell::CannotReadSecurity)};
    const int shown = std::min(info.recipientCount, static_cast<int>(kMaxSecureInfoRecipients));
    switch (static_cast<uint8_t>(info.kind)) {
        case kKindPassword:
            return {MessageText(msg::shell::KindPassword), MessageText(msg::shell::SenderUnregistered),
                    MessageText(msg::shell::WhoCanDecrypt), MessageText(msg::shell::AnyoneWithPassword)};
        case kKindEnvelope:
        case kKindShared: {
            std::vector<std::string> lines{
                MessageText(info.kind == kKindEnvelope ? msg::shell::KindEnvelope : msg::shell::KindShared),
                MessageText(msg::shell::Sender, info.sender->identity, StatedNotProven())};
            if (info.bareDigest) lines.push_back(MessageText(msg::shell::BareDigest));
            lines.push_back(MessageText(msg::shell::RecipientCount, info.recipientCount));
            for (int i = 0; i < shown; ++i) {
                const Decrypt_Info& r = info.recipients[static_cast<size_t>(i)];
                lines.push_back(OneLine(info.kind == kKindEnvelope ? r.recipientText : r.keyText));
            }
            return lines;
        }
        case kKindSignUser:
            return {MessageText(msg::shell::KindSignature),
                    MessageText(msg::shell::SignerWithId, info.signInfo->userId, info.signInfo->signerName,
                                StatedNotProven()),
                    MessageText(msg::shell::WhoCanVerify), MessageText(msg::shell::AnyoneWithCertificate)};
        case kKindSignMail:
            return {MessageText(msg::shell::KindSignature),
                    MessageText(msg::shell::SignerName, info.signInfo->signerName, StatedNotProven()),
                    MessageText(msg::shell::WhoCanVerify), MessageText(msg::shell::AnyoneWithCertificate)};
        default:
            return {MessageText(msg::shell::CannotReadSecurity)};
    }
}
