#pragma once
// What envelope packages and the decryption dispatch say: recipients, keys and the sender's
// signature.

#include "platform/Messages.h"

namespace msg::envelope {
inline constexpr char kMessageSubsystem[] = "envelope";

// clang-format off
#define VARNEX_ENVELOPE_MESSAGES(M)                                                                      \
    M(NotSecuredFile, "%s\n\n不是一个有效的加密文件.", MB_OK)                                            \
    M(SomeSkipped, "一些文件未被解密，可能是您没有解密这些文件的权利，或者您输入的密码不正确，请逐个解密这些文件。", MB_OK) \
    M(UnwrapFailed1001, "解密对称密钥出错（1001）.", MB_OK)                                              \
    M(UnwrapFailed1002, "解密对称密钥出错（1002）.", MB_OK)                                              \
    M(UnwrapFailed1003, "解密对称密钥出错（1003）.", MB_OK)                                              \
    M(NoKeyIndex, "取私钥索引信息错", MB_OK)                                                             \
    M(NotRecipient, "对不起,您没有解密此文件的权限.", MB_OK)                                             \
    M(VerifyInitFailed, "初始化验证数字签名出错.", MB_OK)                                                \
    M(SenderNotCertificate, "加密文件中的加密用户与验证数字签名的公钥证书不符, 文件来源不能确认.", MB_OK) \
    M(KeepUnverified, "数字签名验证未通过，解密出的文件可能已被篡改。是否仍然保留这些文件?", MB_YESNO | MB_ICONQUESTION) \
    M(NoPublicKey, "公钥不存在，不能加密.", MB_OK)                                                       \
    M(WrapFailed, "公钥加密失败!", MB_OK)                                                                \
    M(SignInitFailed, "初始化签名出错!", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_ENVELOPE_MESSAGES)
}  // namespace msg::envelope
