#pragma once
// What the shell's pages and functions say: the security page's lines (also `varnex info`) and
// the property sheets' messages.

#include "platform/Messages.h"

namespace msg::shell {
inline constexpr char kMessageSubsystem[] = "shell";

// clang-format off
#define VARNEX_SHELL_MESSAGES(M)                                                                   \
    M(SecurityCaption, "安全", MB_OK)                                                              \
    M(CannotReadSecurity, "不能读取文件安全信息", MB_OK)                                           \
    M(KindPassword, "安全类型: 密码加密", MB_OK)                                                   \
    M(SenderUnregistered, "加密用户: 未登记", MB_OK)                                               \
    M(WhoCanDecrypt, "可解密此文件的用户:", MB_OK)                                                 \
    M(AnyoneWithPassword, "任何知道解密密码的用户", MB_OK)                                         \
    M(KindEnvelope, "安全类型: 公约证书加密(2.0加密格式)", MB_OK)                                  \
    M(KindShared, "安全类型: 数字信封加密", MB_OK)                                                 \
    M(Sender, "加密用户: %s%s", MB_OK)                                                             \
    M(StatedNotProven, "(文件所称, 未经验证)", MB_OK)                                              \
    M(BareDigest, "签名方式: 仅存内容摘要(只能检验内容完整, 不能证明加密用户)", MB_OK)            \
    M(RecipientCount, "可解密此文件的用户(共%d个):", MB_OK)                                        \
    M(KindSignature, "安全类型: 数字签名文件", MB_OK)                                              \
    M(SignerWithId, "签名人:%s(%s)%s", MB_OK)                                                      \
    M(SignerName, "签名人: %s%s", MB_OK)                                                           \
    M(WhoCanVerify, "可验证签名的用户:", MB_OK)                                                    \
    M(AnyoneWithCertificate, "只要安装了签名用户的公钥证书，任何人都可验证", MB_OK)                \
    M(GeneralCaption, "常规", MB_OK)                                                              \
    M(TypeFolder, "文件夹", MB_OK)                                                                 \
    M(TypeFile, "文件", MB_OK)                                                                     \
    M(TypeExtensionFile, "%s 文件", MB_OK)                                                         \
    M(Date, "%d年%d月%d日", MB_OK)                                                                 \
    M(DateTime, "%d年%d月%d日 %d:%d:%d", MB_OK)                                                    \
    M(SizeBytesScaled, "%s 字节 (%s)", MB_OK)                                                      \
    M(ItemsSize, "%s 字节(%s)", MB_OK)                                                             \
    M(Bytes, "%s 字节", MB_OK)                                                                     \
    M(ScaledBytes, "%lld 字节", MB_OK)                                                             \
    M(Name, "名称:", MB_OK)                                                                        \
    M(Type, "类型:", MB_OK)                                                                        \
    M(Location, "位置:", MB_OK)                                                                    \
    M(Size, "大小:", MB_OK)                                                                        \
    M(DosName, "MS-DOS 名称:", MB_OK)                                                              \
    M(Created, "创建时间:", MB_OK)                                                                 \
    M(Modified, "修改时间:", MB_OK)                                                                \
    M(Accessed, "访问时间:", MB_OK)                                                                \
    M(ReadOnly, "只读", MB_OK)                                                                     \
    M(Hidden, "隐藏", MB_OK)                                                                       \
    M(Archive, "存档", MB_OK)                                                                      \
    M(System, "系统", MB_OK)                                                                       \
    M(Unavailable, " 不可用", MB_OK)                                                               \
    M(DriveTitle, "%s(%s) 属性", MB_OK)                                                            \
    M(VolumeLabel, "卷标:", MB_OK)                                                                 \
    M(Capacity, "容量:", MB_OK)                                                                    \
    M(UsedSpace, "已用空间:", MB_OK)                                                               \
    M(FreeSpace, "剩余空间:", MB_OK)                                                               \
    M(OneTitle, "%s 属性", MB_OK)                                                                  \
    M(ManyTitle, "%s, ... 属性", MB_OK)                                                            \
    M(Contains, "包含:", MB_OK)                                                                    \
    M(FilesAndFolders, "%s 个文件, %s 个文件夹", MB_OK)                                            \
    M(AllFolders, "全是文件夹", MB_OK)                                                             \
    M(AllFiles, "全是文件", MB_OK)                                                                 \
    M(MixedTypes, "多种类型", MB_OK)                                                               \
    M(DriveUnknown, "未知类型", MB_OK)                                                             \
    M(DriveRemovable, "可移动磁盘", MB_OK)                                                         \
    M(DriveFixed, "本机磁盘", MB_OK)                                                               \
    M(DriveRemote, "网络磁盘", MB_OK)                                                              \
    M(DriveOptical, "光盘", MB_OK)                                                                 \
    M(DriveRam, "虚拟磁盘", MB_OK)                                                                 \
    M(SheetOk, "确定", MB_OK)                                                                      \
    M(SheetCancel, "取消", MB_OK)                                                                  \
    M(SheetInput, "属性 (+r -r)", MB_OK)                                                           \
    M(FileMissing, "文件不存在", MB_OK)                                                            \
    M(AttributeFailed, "%s\n设置属性失败。", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_SHELL_MESSAGES)
}  // namespace msg::shell
