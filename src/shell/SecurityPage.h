#pragma once
// The security page of a secured file: what GetFileSecureInfo reads, and the lines the page
// shows of it. The terminal program and the property sheets both present these lines.
//
//   kind  type line                                    user line                       heading, list
//   1     "安全类型: 密码加密"                          "加密用户: 未登记"              anyone knowing the password
//   2     "安全类型: 公约证书加密(2.0加密格式)"          "加密用户: " + sender identity  recipients' texts
//   8     "安全类型: 数字信封加密"                      as kind 2                       recipients' key texts
//   4     "安全类型: 数字签名文件"                      "签名人:" user ID (signer name) anyone with the certificate
//   16    "安全类型: 数字签名文件"                      "签名人: " + signer name        as kind 4
// A file that cannot be read shows the one line "不能读取文件安全信息".
//
// Nothing here checks a signature, so the encrypting user and the signer are what the file
// states: their lines say so ("(文件所称, 未经验证)"). An envelope package whose trailer holds
// a bare digest adds a line saying that it can only show the content intact.

#include <memory>
#include <string>
#include <vector>

#include "signature/SecureInfo.h"

class CKorvane;

struct FileSecurity {
    int result = 0;  // GetFileSecureInfo's answer
    char kind = 0;
    int recipientCount = 0;
    std::unique_ptr<Decrypt_Info[]> recipients;  // kMaxSecureInfoRecipients entries
    std::unique_ptr<File_SignInfo> signInfo;
    std::unique_ptr<Verify_IndexInfo> sender;
    std::string nameText;
    bool bareDigest = false;  // an envelope package signed by a bare digest only
};

// Reads the security information of one file.
FileSecurity ReadFileSecurity(CKorvane& engine, const std::string& path);

// The page's lines: type, encrypting user or signer, list heading, then the list.
std::vector<std::string> SecurityPageLines(const FileSecurity& info);
