#pragma once
// What in-place, shared and generated-name encryption say.

#include "platform/Messages.h"

namespace msg::advanced {
inline constexpr char kMessageSubsystem[] = "advanced";

// clang-format off
#define VARNEX_ADVANCED_MESSAGES(M)                                                                          \
    M(RetryOpen, "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", MB_ABORTRETRYIGNORE | MB_ICONQUESTION) \
    M(SourceChanged, "文件\"%s\"在加密期间被修改或替换，未被擦除；加密文件未必与它现在的内容一致。", MB_OK)         \
    M(SourceSwappedAside, "文件\"%s\"在加密期间被替换；替换它的文件未被擦除，现名为\"%s\"。", MB_OK)         \
    M(SourceOtherNames, "文件\"%s\"已加密，此名称已删除；当时还有其他名称指向其内容，内容未被擦除。", MB_OK)                             \
    M(SourceNotOverwritten, "文件\"%s\"已加密，但内容未被擦除: %s", MB_OK)                                   \
    M(SourceNotRemoved, "文件\"%s\"已加密，但未能删除: %s", MB_OK)                                           \
    M(NotAPackageInTheWay, "文件\"%s\"已存在且不是加密文件，未被替换；原文件未加密。", MB_OK) \
    M(EncryptFailed, "加密失败!", MB_OK)                                                                     \
    M(ShareEncryptFailed, "由于某种原因造成文件加密失败，Ferrow停止加密。", MB_OK)                           \
    M(NotLoggedOnUser, "用户\"%s\"不是当前登录的用户，不能为其加密文件。", MB_OK)                            \
    M(TooManyRecipients, "共享加密人不能超过200人。", MB_OK)                                                 \
    M(CertModified, "警告：公钥证书\"%s\"自上次签名确认后已被修改，不能使用，如果您要继续使用，请在Ondrel中再次签名", MB_OK) \
    M(NoPublicKey, "公钥不存在，不能加密.", MB_OK)                                                           \
    M(NoDirectoryForShare, "共享路径的授权解密人包括目录组\"%s\"，此处无法读取目录，未加密任何文件。", MB_OK)   \
    M(OutOfMemory, "内存不足，建议分批解密目录保险箱中的文件。", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_ADVANCED_MESSAGES)
}  // namespace msg::advanced
