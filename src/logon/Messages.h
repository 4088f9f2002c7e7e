#pragma once
// What the logon library says about the token key devices it works with.

#include "platform/Messages.h"

namespace msg::logon {
inline constexpr char kMessageSubsystem[] = "logon";

// clang-format off
#define VARNEX_LOGON_MESSAGES(M)                                                                          \
    M(TokenModuleFailed, "无法加载令牌模块%s：%s", MB_OK | MB_ICONSTOP)                                    \
    M(InsertToken, "请插入令牌“%s”。", MB_OK | MB_ICONSTOP)                                                \
    M(TokenRemoved, "令牌“%s”已被拔出。", MB_OK | MB_ICONSTOP)                                             \
    M(PinIncorrect, "令牌“%s”的PIN不正确。", MB_OK | MB_ICONSTOP)                                          \
    M(PinCountLow, "令牌“%s”的PIN不正确，剩下的尝试次数不多了。", MB_OK | MB_ICONSTOP)                     \
    M(PinFinalTry, "令牌“%s”的PIN不正确；再输错一次，PIN将被锁定。", MB_OK | MB_ICONSTOP)       \
    M(PinLocked, "令牌“%s”的PIN已被锁定。", MB_OK | MB_ICONSTOP)                                           \
    M(KeyExtractable, "令牌“%s”生成的私钥可以导出，不能使用。", MB_OK | MB_ICONSTOP)                       \
    M(NoTokenKey, "令牌“%s”上没有“%s”的私钥。", MB_OK | MB_ICONSTOP)                                      \
    M(NoEnvelopeOpening, "令牌“%s”不能打开数字信封。", MB_OK | MB_ICONSTOP)                                \
    M(NoUserCertificate, "令牌“%s”上不能生成用户的证书。", MB_OK | MB_ICONSTOP)                            \
    M(TokenFailed, "令牌“%s”操作失败：%s。", MB_OK | MB_ICONSTOP)                                          \
    M(PinFileUnreadable, "无法读取PIN文件%s。", MB_OK | MB_ICONSTOP)                                       \
    M(PinPrompt, "令牌“%s”的PIN", MB_OK)                                                                 \
    M(PinTitle, "输入PIN", MB_OK)                                                                        \
    M(PinOk, "确定", MB_OK)                                                                              \
    M(PinCancel, "取消", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_LOGON_MESSAGES)
}  // namespace msg::logon
