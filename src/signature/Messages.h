#pragma once
// What signing and verification say.

#include "platform/Messages.h"

namespace msg::signature {
inline constexpr char kMessageSubsystem[] = "signature";

// clang-format off
#define VARNEX_SIGNATURE_MESSAGES(M)                                                                   \
    M(ReplaceSignature, "签名文件%s已存在, 是否覆盖原文件?", MB_YESNO | MB_ICONQUESTION)               \
    M(RetryOpen, "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", MB_RETRYCANCEL | MB_ICONQUESTION) \
    M(SignInitFailed, "初始化签名出错!", MB_OK)                                                        \
    M(VerifyInitFailed, "初始化验证数字签名出错.", MB_OK)                                              \
    M(SignerNotCertificate, "签名文件中的签名人与验证数字签名的公钥证书不符, 签名人不能确认.", MB_OK)  \
    M(AllFilesFilter, "所有文件(*.*)|*.*||", MB_OK)                                                    \
    M(Test, "test", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_SIGNATURE_MESSAGES)
}  // namespace msg::signature
