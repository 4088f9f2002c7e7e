#include "dialogs/VerifyDialog.h"

#include "dialogs/Messages.h"
#include "engine/Korvane.h"
#include "platform/CFile.h"
#include "platform/FileStatus.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace {

constexpr const char* kBreak = "\r\n";

std::string StatusTimeLine(const std::string& time, const char* tail) {
    TimeTextParts t = SplitTimeText(time);
    return MessageText(msg::dialogs::StateModified, t.year, t.month, t.day, t.hour, t.minute, t.second, tail);
}

}  // namespace

CDlgVerify::CDlgVerify(const VerifyRecord& record, int verdict) : m_record(record), m_verdict(verdict) {
    m_result = MessageText(verdict == 1 ? msg::dialogs::VerifyCorrect : msg::dialogs::VerifyIncorrect);
    m_signer = MessageText(msg::dialogs::Signer, record.signerName);
    TimeTextParts t = SplitTimeText(record.signTime);
    m_time = MessageText(msg::dialogs::SignedAt, t.year, t.month, t.day, t.hour, t.minute, t.second);

    m_text = MessageText(verdict == 1 ? msg::dialogs::Unchanged : msg::dialogs::Changed, record.filePath, kBreak,
                         kBreak, kBreak);
    m_text += MessageText(msg::dialogs::StateWhenSigned, kBreak);
    m_text += StatusTimeLine(record.modifyTime, kBreak);
    m_text += MessageText(msg::dialogs::SizeWhenSigned, static_cast<unsigned>(record.size), kBreak, kBreak);

    CFile file;
    FileStatusInfo now;
    if (!CKorvane::OpenForReading(record.filePath.c_str(), file, 1)) return;
    if (!ReadFileStatus(record.filePath, now)) return;
    m_text += MessageText(msg::dialogs::StateNow, kBreak);
    m_text += StatusTimeLine(now.modifyTime, kBreak);
    m_text += MessageText(msg::dialogs::SizeNow, static_cast<unsigned>(now.size), kBreak);
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
