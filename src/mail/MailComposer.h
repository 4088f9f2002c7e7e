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
//      program gets subject, text, recipients and copies of the attachments, which it may read
//      as late as when it sends. The copies go to the session's own runtime folder
//      ($XDG_RUNTIME_DIR/varnex-mail/<message>/<n>/<name>; memory that the system empties at
//      log-out), else beside the message ("<message>.files/<n>/<name>"), owner-only either way;
//      they are removed kHandOffCopyLifetime after the hand-off (RemoveOldHandOffCopies). The
//      message itself is removed once the mail program has it: it held nothing the mail
//      program did not get;
//   2. else the opener configured in the store (a program run with the message's path);
//   3. else the message stays in the outbox.
// Programs are run directly (no shell), their arguments passed as given.

#include <chrono>
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
        // The caller deletes the file once the message is handed over: the mail program gets
        // the file itself, moved, rather than a copy of it (where the file system allows).
        bool deleteAfter = false;
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

// How long the mail program may take to read the copies of its attachments.
inline constexpr std::chrono::minutes kHandOffCopyLifetime{60};
// Removes, overwritten first, the attachment copies of hand-offs older than `age`, in the
// runtime folder and beside the messages in outboxFolder. Every hand-off does it first; the
// program does it whenever it opens the store.
void RemoveOldHandOffCopies(
    const std::string& outboxFolder,
    std::chrono::seconds age = std::chrono::duration_cast<std::chrono::seconds>(kHandOffCopyLifetime));
