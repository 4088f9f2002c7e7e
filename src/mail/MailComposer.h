#pragma once
// Composing a message as MIME (GMime) into the suite's mail outbox and handing it to the
// person's mail program. Shared by the mail launcher (CMailStart) and the shipped `mapi`
// module, so it depends on nothing of the engine: no UI host, no logon library. Callers show
// what it reports.
//
// The message is written beside its final place in the outbox and given its name
// "YYYYMMDD-HHMMSS-XXXXXX.eml" only when complete; it holds every attachment's bytes, so once
// ComposeMail has answered true the attachments may be removed.
// Hand-off, in order of preference:
//   1. a desktop session (DISPLAY or WAYLAND_DISPLAY) with `xdg-email` on the PATH: the mail
//      program gets subject, text, recipients and copies of the attachments kept in the outbox
//      ("<message>.files/<n>/<name>");
//   2. else the opener configured in the store (a program run with the message's path);
//   3. else the message stays in the outbox.
// Programs are run directly (no shell), their arguments passed as given.

#include <string>
#include <vector>

struct MailDraft {
    std::string subject;
    std::string text;
    std::string from;             // "Name <address>", an address, or empty
    std::vector<std::string> to;  // each "Name <address>", an address, or a bare name
    std::vector<std::string> cc;
    struct Attachment {
        std::string path;
        std::string name;  // the name shown in the message; empty: the path's file name
    };
    std::vector<Attachment> attachments;
};

// What the person is told when a message stays in the outbox; its path follows.
inline constexpr const char* kMailLeftInOutbox = "邮件已保存在发件箱中, 请用邮件程序发送:\n";

enum class MailHandOff { kMailProgram, kOpener, kOutbox };

// Writes the message into outboxFolder (created owner-only when missing). False with *error
// set when the folder, an attachment or the message cannot be written; nothing is left then.
bool ComposeMail(const MailDraft& draft, const std::string& outboxFolder, std::string* emlPath, std::string* error);

// Hands a composed message over as described above. An opener or mail program that cannot be
// started or fails leaves the message in the outbox (kOutbox).
MailHandOff HandOffMail(const MailDraft& draft, const std::string& emlPath, const std::string& opener);
