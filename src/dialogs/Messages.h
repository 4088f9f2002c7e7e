#pragma once
// The texts of the operation dialogs: captions, buttons and the lines of the verification
// report, the replace question and the decrypted-files list.

#include "platform/Messages.h"

namespace msg::dialogs {
inline constexpr char kMessageSubsystem[] = "dialogs";

// clang-format off
#define VARNEX_DIALOGS_MESSAGES(M)                                                         \
    M(Ok, "确定", MB_OK)                                                                   \
    M(Cancel, "取消", MB_OK)                                                               \
    M(VerifyTitle, "验证数字签名", MB_OK)                                                  \
    M(VerifyCorrect, "验证结果：验证数字签名正确", MB_OK)                                  \
    M(VerifyIncorrect, "验证结果：验证数字签名不正确", MB_OK)                              \
    M(Signer, "签名人: %s", MB_OK)                                                         \
    M(SignedAt, "签名时间: %s年%s月%s日 %s:%s:%s", MB_OK)                                  \
    M(Unchanged, "%s%s自签名后内容未被改动.%s%s", MB_OK)                                   \
    M(Changed, "%s%s自签名后内容已改动.%s%s", MB_OK)                                       \
    M(StateWhenSigned, "签名时文件状态:%s", MB_OK)                                         \
    M(StateNow, "当前文件状态:%s", MB_OK)                                                  \
    M(StateModified, "修改时间: %s年%s月%s日 %s:%s:%s %s", MB_OK)                          \
    M(SizeWhenSigned, "文件大小: %u字节%s%s", MB_OK)                                       \
    M(SizeNow, "文件大小: %u字节%s", MB_OK)                                                \
    M(ReplaceTitle, "确认文件替换", MB_OK)                                                 \
    M(ReplaceExists, "文件\"%s\"已存在.", MB_OK)                                           \
    M(ReplaceExisting, "现有文件:", MB_OK)                                                 \
    M(ReplaceExistingModified, "修改时间: %d年%s月%s日 %s:%s:%s", MB_OK)                   \
    M(ReplaceWith, "替换为:", MB_OK)                                                       \
    M(ReplaceWithModified, "修改时间: %s年%s月%s日 %s:%s:%s", MB_OK)                       \
    M(SizeBytes, "%d字节", MB_OK)                                                          \
    M(ReplaceYes, "替换(Y)", MB_OK)                                                        \
    M(ReplaceAll, "替换所有(A)", MB_OK)                                                    \
    M(ReplaceNo, "不替换(&N)", MB_OK)                                                      \
    M(ReplaceNone, "都不替换(&G)", MB_OK)                                                  \
    M(ReplaceCancel, "取消(&C)", MB_OK)                                                    \
    M(FileListTitle, "解密文件列表", MB_OK)                                                \
    M(DecryptedCount, "共解密文件 %d 个", MB_OK)                                           \
    M(OpenTitle, "打开", MB_OK)                                                            \
    M(OpenButton, "打开", MB_OK)                                                           \
    M(FileName, "文件名", MB_OK)                                                           \
    M(DecryptToTitle, "文件解密", MB_OK)                                                   \
    M(DecryptButton, "解密", MB_OK)                                                        \
    M(DecryptToFolder, "解密到文件夹", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_DIALOGS_MESSAGES)
}  // namespace msg::dialogs
