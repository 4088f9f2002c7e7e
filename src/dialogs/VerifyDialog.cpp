#include "dialogs/VerifyDialog.h"

#include "engine/Korvane.h"
#include "platform/CFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr const char* kBreak = "\r\n";

std::string StatusTimeLine(const char* format, const std::string& time, const char* tail) {
    TimeTextParts t = SplitTimeText(time);
    return Format(format, t.year.c_str(), t.month.c_str(), t.day.c_str(), t.hour.c_str(), t.minute.c_str(),
                  t.second.c_str(), tail);
}

}  // namespace

CDlgVerify::CDlgVerify(const VerifyRecord& record, int verdict) : m_record(record), m_verdict(verdict) {
    m_result = verdict == 1 ? "验证结果：验证数字签名正确" : "验证结果：验证数字签名不正确";
    m_signer = Format("签名人: %s", record.signerName.c_str());
    TimeTextParts t = SplitTimeText(record.signTime);
    m_time = Format("签名时间: %s年%s月%s日 %s:%s:%s", t.year.c_str(), t.month.c_str(), t.day.c_str(), t.hour.c_str(),
                    t.minute.c_str(), t.second.c_str());

    m_text = Format(verdict == 1 ? "%s%s自签名后内容未被改动.%s%s" : "%s%s自签名后内容已改动.%s%s",
                    record.filePath.c_str(), kBreak, kBreak, kBreak);
    m_text += Format("签名时文件状态:%s", kBreak);
    m_text += StatusTimeLine("修改时间: %s年%s月%s日 %s:%s:%s %s", record.modifyTime, kBreak);
    m_text += Format("文件大小: %u字节%s%s", static_cast<unsigned>(record.size), kBreak, kBreak);

    CFile file;
    FileStatusInfo now;
    if (!CKorvane::OpenForReading(record.filePath.c_str(), file, 1)) return;
    if (!ReadFileStatus(record.filePath, now)) return;
    m_text += Format("当前文件状态:%s", kBreak);
    m_text += StatusTimeLine("修改时间: %s年%s月%s日 %s:%s:%s %s", now.modifyTime, kBreak);
    m_text += Format("文件大小: %u字节%s", static_cast<unsigned>(now.size), kBreak);
}

std::vector<std::string> CDlgVerify::Lines() const {
    std::vector<std::string> lines{m_result, m_signer, m_time};
    size_t start = 0;
    while (start < m_text.size()) {
        size_t end = m_text.find(kBreak, start);
        if (end == std::string::npos) end = m_text.size();
        lines.push_back(m_text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
