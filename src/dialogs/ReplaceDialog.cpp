// The replace question: which file is there, and the times and sizes of both files.

#include "dialogs/ReplaceDialog.h"

#include <cstdlib>
#include <cstring>

#include "dialogs/Messages.h"
#include "engine/EngineContext.h"
#include "platform/FileStatus.h"
#include "platform/Text.h"
#include "platform/Window.h"

std::string ReplaceSizeText(uint32_t size) {
    if (size < 1024) return MessageText(msg::dialogs::SizeBytes, static_cast<int>(size));
    if (size < 1048576) return Format("%.2fKB", size / 1024.0);
    return Format("%.2fMB", size / 1048576.0);
}

CDlgReplace::CDlgReplace(const char* path, const char* timeStamp, int size) {
    std::string file = path ? std::string(path, strnlen(path, kMaxPath)) : std::string();
    m_lines.push_back(MessageText(msg::dialogs::ReplaceExists, file));

    FileStatusInfo existing;
    if (ReadFileStatus(file, existing)) {
        TimeTextParts t = SplitTimeText(existing.modifyTime);
        m_lines.push_back(MessageText(msg::dialogs::ReplaceExisting));
        m_lines.push_back(MessageText(msg::dialogs::ReplaceExistingModified, std::atoi(t.year.c_str()), t.month, t.day,
                                      t.hour, t.minute, t.second));
        m_lines.push_back(ReplaceSizeText(static_cast<uint32_t>(existing.size)));
    }
    // A time stamp shorter than 14 digits shows what it has; nothing beyond it is read.
    TimeTextParts t = SplitTimeText(timeStamp ? std::string(timeStamp, strnlen(timeStamp, kTimeTextLength)) : "");
    m_lines.push_back(MessageText(msg::dialogs::ReplaceWith));
    m_lines.push_back(
        MessageText(msg::dialogs::ReplaceWithModified, t.year, t.month, t.day, t.hour, t.minute, t.second));
    m_lines.push_back(ReplaceSizeText(static_cast<uint32_t>(size)));
}

std::vector<DialogButton> CDlgReplace::Buttons() const {
    return {{kIdReplace, MessageText(msg::dialogs::ReplaceYes), "yes"},
            {kIdReplaceAll, MessageText(msg::dialogs::ReplaceAll), "all"},
            {kIdKeep, MessageText(msg::dialogs::ReplaceNo), "no"},
            {kIdKeepAll, MessageText(msg::dialogs::ReplaceNone), "none"},
            {kIdCancel, MessageText(msg::dialogs::ReplaceCancel), "cancel"}};
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
