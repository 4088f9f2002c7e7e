#pragma once
// What password packages and password entry say: the messages of the password subsystem and
// the texts of the password dialog.

#include "platform/Messages.h"

namespace msg::password {
inline constexpr char kMessageSubsystem[] = "password";

// clang-format off
#define VARNEX_PASSWORD_MESSAGES(M)                                                          \
    M(WrongPassword, "对不起，密码错!", MB_OK)                                               \
    M(PasswordsDiffer, "对不起，两次输入的密钥不一致.", MB_OK)                               \
    M(EncryptKeyFacility, "加密失败，请检查密钥设施是否安装好。", MB_OK)                     \
    M(DecryptKeyFacility, "解密失败，请检查密钥设施是否安装好。", MB_OK)                     \
    M(NotFileOrFolder, "\"%s\"不是文件或文件夹，不能加密。", MB_OK)                          \
    M(DialogTitle, "输入密钥", MB_OK)                                                        \
    M(DialogHint, "密钥长度六个字符以上", MB_OK)                                             \
    M(DialogOk, "确定", MB_OK)                                                               \
    M(DialogCancel, "取消", MB_OK)                                                           \
    M(TooShort, "密钥太短: 至少六个字符, 请重新输入.", MB_OK)                                \
    M(EnterEncryptionKey, "请输入加密密钥:", MB_OK)                                          \
    M(ReenterEncryptionKey, "请重输加密密钥:", MB_OK)                                        \
    M(EnterDecryptionKey, "请输入解密密钥:", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_PASSWORD_MESSAGES)
}  // namespace msg::password
