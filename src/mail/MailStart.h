#pragma once
// The mail launcher: a mail of attachments handed to the person's mail program, each
// attachment kept or deleted after the hand-off as its flag says. Attachments are numbered in
// the order they are added, from 0; an attachment without a flag is kept.
//
// Sendmail composes the message into the suite's mail outbox (the logon library's mail folder,
// "outbox/") and hands it over (see MailComposer.h; the opener is the setting "Opener" of
// section "MAIL"). Attachments flagged for deletion are deleted only once the composed message
// holds them: a composition that fails deletes nothing.

#include <string>
#include <vector>

class CMailStart {
public:
    CMailStart() = default;
    ~CMailStart() = default;
    CMailStart(const CMailStart&) = default;
    CMailStart& operator=(const CMailStart&) = default;

    int SetSubject(const char* subject);
    int AddAttachFile(const char* path);
    void SetNoDeleteFileFlag(int index);
    void SetDeleteFileFlag(int index);
    // 1 when the message was composed (handed over, or left in the outbox with its path shown);
    // 0 when it could not be composed (shown).
    int Sendmail();

private:
    struct Attachment {
        std::string path;
        bool deleteAfter = false;
    };
    std::string m_subject;
    std::vector<Attachment> m_attachments;
};
