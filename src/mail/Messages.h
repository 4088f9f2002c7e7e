#pragma once
// What the mail package's writer, reader and sender say, in the system's words. The numbered
// texts name the place a damaged mail was found; two different checks share 215-03 (the key
// unwrap and a file entry's CRC). A bad signature is told in the cipher frame's own words
// (msg::engine::BadSignature).

#include "platform/Messages.h"

namespace msg::mail {
inline constexpr char kMessageSubsystem[] = "mail";

// clang-format off
#define VARNEX_MAIL_MESSAGES(M) \
    M(NoCertificate, "%s \n\n没有对应的公钥证书", MB_OK) \
    M(CertModified, "警告：公钥证书\"%s\"自上次签名确认后已被修改，不能使用，如果您要继续使用，请在Ondrel中再次签名", MB_OK) \
    M(WrapFailed, "公钥加密失败!", MB_OK) \
    M(CreateFailed, "创建临时文件失败.", MB_OK) \
    M(SignInitFailed, "初始化签名出错!", MB_OK) \
    M(CannotOpen, "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.", MB_OK) \
    M(TooLarge, "加密文件包太大(已超过1.5GB)，Quillet停止加密。", MB_OK) \
    M(HeaderCrc, "CRC校验错,文件已损坏, 不能解密-1", MB_OK) \
    M(NotMail, "这不是一个加密邮件, 或者邮件已被破坏.", MB_OK) \
    M(TooNew, "请使用本软件的高版本(加密版本为: %4.2f)解密此文件.", MB_OK) \
    M(NeitherFlag, "这不是一封加密或签名邮件.", MB_OK) \
    M(BadCipher, "加密邮件中使用了本版本不支持的加密算法", MB_OK) \
    M(BadDigest, "加密邮件中使用了不支持的签名算法", MB_OK) \
    M(BadOne, "不支持的加密算法", MB_OK) \
    M(BadKind, "不支持的公钥标识类型.", MB_OK) \
    M(SignerCrc, "CRC校验错, 邮件被损坏, 不能解密邮件(215-01)", MB_OK) \
    M(NoKeyIndex, "取私钥索引信息错", MB_OK) \
    M(RecipientCrc, "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) ", MB_OK) \
    M(NotRecipient, "对不起,您没有解密此邮件的权限.", MB_OK) \
    M(UnwrapFailed, "解密对称密钥出错（215-03）.", MB_OK) \
    M(VerifyInitFailed, "初始化验证数字签名出错.", MB_OK) \
    M(EntryCrc, "CRC校验错, 邮件被损坏, 不能解密邮件(215-03).", MB_OK) \
    M(CreateFileFailed, "创建文件失败.%s(215-04).", MB_OK) \
    M(DataShort, "加密邮件损坏, 不能正确解密(215-06).", MB_OK) \
    M(ContentCrc, "文件内容CRC校验错. ", MB_OK) \
    M(EndCrc, "CRC校验错, 邮件被损坏, 不能解密邮件(215-07). ", MB_OK) \
    M(SignatureCrc, "CRC校验错, 邮件被损坏, 不能解密邮件(215-09). ", MB_OK) \
    M(KeepUnverified, "邮件的数字签名验证未通过，其中的文件可能已被篡改。是否仍然保留这些文件?", MB_YESNO | MB_ICONQUESTION) \
    M(BadEntry, "邮件结构错.fileIndex.nFlag = %d", MB_OK) \
    M(LeftInOutbox, "邮件已保存在发件箱中, 请用邮件程序发送:\n%s", MB_OK) \
    M(ComposeFailed, "不能生成邮件.\n%s", MB_ICONSTOP) \
    M(MapiMissing, "未找到MAPI动态库MAPI32.DLL", MB_OK) \
    M(MapiCannotSend, "动态库MAPI32.DLL不支持发送邮件功能.", MB_OK) \
    M(SendFailed, "发送邮件失败.", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_MAIL_MESSAGES)
}  // namespace msg::mail
