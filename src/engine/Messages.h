#pragma once
// What the engine's core says: file errors of the checked I/O, the cipher frame and the cards,
// key generation and the signature primitives.

#include "platform/Messages.h"

namespace msg::engine {
inline constexpr char kMessageSubsystem[] = "engine";

// clang-format off
#define VARNEX_ENGINE_MESSAGES(M)                                                                          \
    M(OpenFailed, "打开文件失败.\n%s", MB_ICONSTOP)                                                        \
    M(ReadFailed, "读文件出错.\n\n%s", MB_ICONSTOP)                                                        \
    M(WriteFailed, "写文件出错.\n\n%s", MB_ICONSTOP)                                                       \
    M(SeekFailed, "写文件出错.\n%s", MB_ICONSTOP)                                                          \
    M(ShortRead, "文件可能被修改，读文件错,", MB_OK)                                                       \
    M(CannotOpenForReading, "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", MB_OK)      \
    M(DataEncryptFailed, "数据加密失败。", MB_OK)                                                          \
    M(DataDecryptFailed, "数据解密失败。", MB_OK)                                                          \
    M(IsaCardNotFound, "系统未检测到ISA加密卡。", MB_OK)                                                   \
    M(IsaEncryptInitFailed, "初始化ISA加密卡失败。", MB_OK)                                                \
    M(IsaDecryptInitFailed, "初始化ISA解密卡失败。", MB_OK)                                                \
    M(IsaEncryptFailed, "ISA卡加密失败。", MB_OK)                                                          \
    M(IsaDecryptFailed, "ISA卡解密失败。", MB_OK)                                                          \
    M(CipherNotInVersion, "对不起, 本版本不支持这种加密算法.", MB_OK)                                      \
    M(FieldEncryptFailed, "序列加密出错", MB_OK)                                                           \
    M(FieldDecryptFailed, "序列解密出错", MB_OK)                                                           \
    M(RandomKeyFailed, "生成随机密钥失败。", MB_OK)                                                        \
    M(PciLibraryMissing, "未安装TRV88数据安全卡驱动库", MB_OK)                                             \
    M(PciEncryptDriverMissing, "未安装TRV88数据安全卡驱动程序, 不能加密.", MB_OK)                          \
    M(PciEncryptNoCard, "未找到TRV88数据安全卡, 不能加密.", MB_OK)                                         \
    M(PciEncryptBusy, "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再加密。", MB_OK)                  \
    M(PciEncryptSessionFailed, "TRV88数据安全卡初始化加密失败(TRV88Init()), 出错代码: 0x%x", MB_OK)        \
    M(PciEncryptInitFailed, "TRV88数据安全卡初始化加密失败, 出错代码: 0x%x", MB_OK)                        \
    M(PciEncryptUpdateFailed, "TRV88数据安全卡加密失败(TRV88EncryptUpdate()), 出错代码:0x%x", MB_OK)       \
    M(PciEncryptFinalFailed, "TRV88数据安全卡加密失败(TRV88EncryptFinal()), 出错代码 : 0x%x。", MB_OK)     \
    M(PciDecryptDriverMissing, "未安装TRV88数据安全卡驱动程序, 不能解密.", MB_OK)                          \
    M(PciDecryptNoCard, "未找到TRV88数据安全卡, 不能解密.", MB_OK)                                         \
    M(PciDecryptBusy, "TRV88数据安全卡最多同时支持10个加解密进程，请稍后再解密。", MB_OK)                  \
    M(PciDecryptSessionFailed, "TRV88数据安全卡初始化解密失败(TRV88Init()), 出错代码: 0x%x", MB_OK)        \
    M(PciDecryptInitFailed, "TRV88数据安全卡初始化解密失败(TRV88DecryptInit()), 出错代码: 0x%x", MB_OK)    \
    M(PciDecryptUpdateFailed, "TRV88数据安全卡解密失败(TRV88DecryptUpdate()), 出错代码: 0x%x", MB_OK)      \
    M(PciDecryptFinalFailed, "TRV88数据安全卡解密失败(TRV88EncryptFinal(), 出错代码: 0x%x", MB_OK)         \
    M(LoggedOut, "Ferrow 已退出登录。", MB_OK)                                                             \
    M(PrivateKeyFailed, "取用户RSA私钥失败。", MB_OK)                                                      \
    M(RsaSignFailed, "RSA数字签名失败。", MB_OK)                                                           \
    M(UnknownUserType, "不能识别用户类型。", MB_OK)                                                        \
    M(NoVerifyCertificate, "公钥证书库没有安装用于验证数字签名的公钥证书，不能验证签名文件或签名邮件来源的可靠性和内容的完整性，" \
                           "请从文件或邮件签名人那里索要他（她）的公钥证书.以便验证数字签名。", MB_OK)  \
    M(DecryptedDiffers, "解密文件与原文件不一致。", MB_OK)                                                 \
    M(BadSignature, "数字签名验证不正确。", MB_OK)                                                          \
    M(OutOfMemory, "内存不足。", MB_ICONSTOP)                                                              \
    M(InternalErrorText, "内部错误: %s", MB_ICONSTOP)                                                      \
    M(InternalError, "内部错误。", MB_ICONSTOP)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_ENGINE_MESSAGES)
}  // namespace msg::engine
