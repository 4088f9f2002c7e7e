#pragma once
// What the package layer says while it walks, seals and restores password and envelope packages.

#include "platform/Messages.h"

namespace msg::package {
inline constexpr char kMessageSubsystem[] = "package";

// clang-format off
#define VARNEX_PACKAGE_MESSAGES(M)                                                                        \
    M(TooLarge, "加密文件包太大(已超过1.5GB)，Ferrow停止加密。", MB_OK)                                    \
    M(DataShort, "加密文件损坏, 不能正确解密-6.", MB_OK)                                                   \
    M(StoredSeparatorInName, "\"%s\"的名称中含有字符\"\\\"，不能加密。", MB_OK)                            \
    M(SearchFailed, "搜索文件出错\n%s", MB_OK)                                                             \
    M(LeftOut, "以下链接或特殊文件没有加密:%s", MB_ICONINFORMATION)                                        \
    M(BadHead, "加密文件头不正确", MB_OK)                                                                  \
    M(CreateFailedContinue, "创建文件\"%s\"失败.%s.\n\n是否继续?", MB_YESNO | MB_ICONQUESTION)             \
    M(ContentCrcContinue, "文件内容CRC校验错, 是否继续? ", MB_YESNO | MB_ICONQUESTION)                     \
    M(CreateFolderFailed, "创建文件夹\"%s\"失败。", MB_OK)                                                 \
    M(CreateMissingFolder, "文件夹\"%s\"不存在，是否创建此文件夹?", MB_YESNO | MB_ICONQUESTION)            \
    M(RetryOpen, "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", MB_RETRYCANCEL | MB_ICONEXCLAMATION) \
    M(EncryptingTitle, "加密文件", MB_OK)                                                                  \
    M(Encrypting, "正在加密文件...", MB_OK)                                                                \
    M(DecryptingTitle, "解密文件", MB_OK)                                                                  \
    M(Decrypting, "正在解密文件...", MB_OK)                                                                \
    M(PackageKept, "加密文件未被删除: %s.", MB_OK)                                                         \
    M(KeptExisting, "%zu 个文件保留了已有的同名文件", MB_OK)                                               \
    M(NotCreated, "%zu 个文件或文件夹未能创建", MB_OK)                                                     \
    M(DamagedContent, "有文件内容CRC校验错", MB_OK)                                                        \
    M(OverThePackage, "解密出的文件会覆盖正在解密的加密文件", MB_OK)                                      \
    M(NamedByLink, "所给的名称是指向它的符号链接", MB_OK)                                                 \
    M(OtherNames, "它还有其他名称(硬链接)", MB_OK)                                                       \
    M(FolderInTheWay, "\"%s\"处有链接或文件挡住了要恢复的文件夹，不经过它恢复。", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_PACKAGE_MESSAGES)
}  // namespace msg::package
