// The replace question: which file is there, and the times and sizes of both files.

#include "dialogs/ReplaceDialog.h"

#include <cstdlib>
#include <cstring>

#include "engine/EngineContext.h"
#include "platform/FileStatus.h"
#include "platform/Text.h"
#include "platform/Window.h"

std::string ReplaceSizeText(uint32_t size) {
    if (size < 1024) return Format("%d字节", static_cast<int>(size));
    if (size < 1048576) return Format("%.2fKB", size / 1024.0);
    return Format("%.2fMB", size / 1048576.0);
}

CDlgReplace::CDlgReplace(const char* path, const char* timeStamp, int size) {
    std::string file = path ? std::string(path, strnlen(path, kMaxPath)) : std::string();
    m_lines.push_back(Format("文件\"%s\"已存在.", file.c_str()));

    FileStatusInfo existing;
    if (ReadFileStatus(file, existing)) {
        TimeTextParts t = SplitTimeText(existing.modifyTime);
        m_lines.push_back("现有文件:");
        m_lines.push_back(Format("修改时间: %d年%s月%s日 %s:%s:%s", std::atoi(t.year.c_str()), t.month.c_str(),
                                 t.day.c_str(), t.hour.c_str(), t.minute.c_str(), t.second.c_str()));
        m_lines.push_back(ReplaceSizeText(static_cast<uint32_t>(existing.size)));
    }
    // A time stamp shorter than 14 digits shows what it has; nothing beyond it is read.
    TimeTextParts t = SplitTimeText(timeStamp ? std::string(timeStamp, strnlen(timeStamp, kTimeTextLength)) : "");
    m_lines.push_back("替换为:");
    m_lines.push_back(Format("修改时间: %s年%s月%s日 %s:%s:%s", t.year.c_str(), t.month.c_str(), t.day.c_str(),
                             t.hour.c_str(), t.minute.c_str(), t.second.c_str()));
    m_lines.push_back(ReplaceSizeText(static_cast<uint32_t>(size)));
}

std::vector<DialogButton> CDlgReplace::Buttons() const {
    return {{kIdReplace, "替换(Y)", "yes"},
            {kIdReplaceAll, "替换所有(A)", "all"},
            {kIdKeep, "不替换(&N)", "no"},
            {kIdKeepAll, "都不替换(&G)", "none"},
            {kIdCancel, "取消(&C)", "cancel"}};
}

int CDlgReplace::Press(int buttonId) {
    switch (buttonId) {
        case kIdReplace:
            m_result = kReplace;
            break;
        case kIdReplaceAll:
            m_result = kReplaceAll;
            break;
        case kIdKeep:
            m_result = kReplaceKeep;
            break;
        case kIdKeepAll:
            m_result = kReplaceNone;
            break;
        case kIdCancel:
            m_result = kReplaceCancel;
            break;
        default:
            break;
    }
    return m_result;
}

extern "C" int MsgReplace(const char* path, const char* timeStamp, int size) try {
    CDlgReplace dialog(path, timeStamp, size);
    return UiHost().RunDialog(dialog);
} catch (...) {
    return EntryFailed(EngineContext{}, 2);
}
