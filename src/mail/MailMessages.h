#pragma once
// What the mail package's writer and reader say, in the system's words. The numbered texts
// name the place a damaged mail was found; two different checks share 215-03 (the key unwrap
// and a file entry's CRC).

// Packing.
constexpr char kMailNoCertificate[] = "%s \n\n没有对应的公钥证书";
constexpr char kMailCertModified[] =
    "警告：公钥证书\"%s\"自上次签名确认后已被修改，不能使用，如果您要继续使用，请在Ondrel中再次签名";
constexpr char kMailWrapFailed[] = "公钥加密失败!";
constexpr char kMailCreateFailed[] = "创建临时文件失败.";
constexpr char kMailSignInitFailed[] = "初始化签名出错!";
constexpr char kMailCannotOpen[] = "不能打开文件\"%s\"，可能文件正在被使用或者您没有该文件的读权限.";
constexpr char kMailTooLarge[] = "加密文件包太大(已超过1.5GB)，Quillet停止加密。";

// Unpacking.
constexpr char kMailHeaderCrc[] = "CRC校验错,文件已损坏, 不能解密-1";
constexpr char kMailNotMail[] = "这不是一个加密邮件, 或者邮件已被破坏.";
constexpr char kMailTooNew[] = "请使用本软件的高版本(加密版本为: %4.2f)解密此文件.";
constexpr char kMailNeitherFlag[] = "这不是一封加密或签名邮件.";
constexpr char kMailBadCipher[] = "加密邮件中使用了本版本不支持的加密算法";
constexpr char kMailBadDigest[] = "加密邮件中使用了不支持的签名算法";
constexpr char kMailBadOne[] = "不支持的加密算法";
constexpr char kMailBadKind[] = "不支持的公钥标识类型.";
constexpr char kMailSignerCrc[] = "CRC校验错, 邮件被损坏, 不能解密邮件(215-01)";
constexpr char kMailNoKeyIndex[] = "取私钥索引信息错";
constexpr char kMailRecipientCrc[] = "CRC校验错, 邮件被损坏, 不能解密邮件(215-02) ";
constexpr char kMailNotRecipient[] = "对不起,您没有解密此邮件的权限.";
constexpr char kMailUnwrapFailed[] = "解密对称密钥出错（215-03）.";
constexpr char kMailVerifyInitFailed[] = "初始化验证数字签名出错.";
constexpr char kMailEntryCrc[] = "CRC校验错, 邮件被损坏, 不能解密邮件(215-03).";
constexpr char kMailCreateFileFailed[] = "创建文件失败.%s(215-04).";
constexpr char kMailDataShort[] = "加密邮件损坏, 不能正确解密(215-06).";
constexpr char kMailContentCrc[] = "文件内容CRC校验错. ";
constexpr char kMailEndCrc[] = "CRC校验错, 邮件被损坏, 不能解密邮件(215-07). ";
constexpr char kMailSignatureCrc[] = "CRC校验错, 邮件被损坏, 不能解密邮件(215-09). ";
constexpr char kMailBadEntry[] = "邮件结构错.fileIndex.nFlag = %d";
constexpr char kMailBadSignature[] = "数字签名验证不正确。";  // the cipher frame's own words
