#include "shell/SecurityPage.h"

#include <algorithm>
#include <cstring>

#include "engine/Korvane.h"
#include "platform/Text.h"

namespace {

constexpr const char* kAnyoneWithCertificate = "只要安装了签名用户的公钥证书，任何人都可验证";
// Who a file says encrypted or signed it; only a verification can prove it.
constexpr const char* kStatedNotProven = "(文件所称, 未经验证)";
constexpr const char* kBareDigestLine = "签名方式: 仅存内容摘要(只能检验内容完整, 不能证明加密用户)";

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
    if (info.result != 1) return {"不能读取文件安全信息"};
    const int shown = std::min(info.recipientCount, static_cast<int>(kMaxSecureInfoRecipients));
    switch (static_cast<uint8_t>(info.kind)) {
        case kKindPassword:
            return {"安全类型: 密码加密", "加密用户: 未登记", "可解密此文件的用户:", "任何知道解密密码的用户"};
        case kKindEnvelope:
        case kKindShared: {
            std::vector<std::string> lines{
                info.kind == kKindEnvelope ? "安全类型: 公约证书加密(2.0加密格式)" : "安全类型: 数字信封加密",
                Format("加密用户: %s%s", info.sender->identity, kStatedNotProven)};
            if (info.bareDigest) lines.push_back(kBareDigestLine);
            lines.push_back(Format("可解密此文件的用户(共%d个):", info.recipientCount));
            for (int i = 0; i < shown; ++i) {
                const Decrypt_Info& r = info.recipients[static_cast<size_t>(i)];
                lines.push_back(OneLine(info.kind == kKindEnvelope ? r.recipientText : r.keyText));
            }
            return lines;
        }
        case kKindSignUser:
            return {"安全类型: 数字签名文件",
                    Format("签名人:%s(%s)%s", info.signInfo->userId, info.signInfo->signerName, kStatedNotProven),
                    "可验证签名的用户:", kAnyoneWithCertificate};
        case kKindSignMail:
            return {"安全类型: 数字签名文件", Format("签名人: %s%s", info.signInfo->signerName, kStatedNotProven),
                    "可验证签名的用户:", kAnyoneWithCertificate};
        default:
            return {"不能读取文件安全信息"};
    }
}
