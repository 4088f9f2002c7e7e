#pragma once
// What the readers of the secured-file head and the package records say when a file is not
// what it should be. The CRC messages carry the number of the check that failed, so a report
// names the place the damage was found.

#include "platform/Messages.h"

namespace msg::formats {
inline constexpr char kMessageSubsystem[] = "formats";

// clang-format off
#define VARNEX_FORMATS_MESSAGES(M)                                                                      \
    M(StructureError, "文件结构错.", MB_OK)                                                             \
    M(BadArgument, "参数错", MB_OK)                                                                     \
    M(NotSecured, "这不是一个加密文件, 或者文件已被破坏.", MB_OK)                                       \
    M(TooNewToDecrypt, "请使用本软件的高版本(加密版本为: %4.2f)解密此文件.", MB_OK)                     \
    M(NotPasswordPackage, "这不是一个密码加密文件", MB_OK)                                              \
    M(NotEnvelopePackage, "这不是一个数字信封加密文件", MB_OK)                                          \
    M(UnsupportedCipher, "不支持的加密算法", MB_OK)                                                     \
    M(NotSignatureFile, "这不是一个签名文件, 或者文件已被破坏.", MB_OK)                                 \
    M(TooNewToVerify, "请使用本软件的高版本(加密版本为: %4.2f)验证签名.", MB_OK)                        \
    M(NotSignature, "这不是一个数字签名文件", MB_OK)                                                    \
    M(UnsupportedSignatureDigest, "对不起，本版本不支持签名文件所使用的签名算法，请与软件供应商联系。", MB_OK) \
    M(HeadCrc1, "CRC校验错,文件已损坏, 不能解密-1", MB_OK)                                              \
    M(HeadCrc123, "CRC校验错,文件已损坏, 不能解密-123", MB_OK)                                          \
    M(SignatureHeadCrc, "CRC校验错,文件已损坏, 不能验证签名", MB_OK)                                    \
    M(SenderCrc2, "CRC校验错, 文件被损坏, 不能解密文件-2. ", MB_OK)                                     \
    M(RecordCrc3, "CRC校验错, 文件被损坏, 不能解密文件.-3 ", MB_OK)                                     \
    M(FolderCrc4, "CRC校验错, 文件被损坏, 不能解密文件 -4. ", MB_OK)                                    \
    M(FileCrc5, "CRC校验错, 文件被损坏, 不能解密文件-5. ", MB_OK)                                       \
    M(EndCrc7, "CRC校验错, 文件被损坏, 不能解密文件-7. ", MB_OK)                                        \
    M(TrailerCrc8, "CRC校验错, 文件被损坏, 不能解密文件 - 8. ", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_FORMATS_MESSAGES)
}  // namespace msg::formats
