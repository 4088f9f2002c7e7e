#pragma once
// Where this suite's composed mail goes and who opens it, from the installed logon library:
// the outbox is "outbox/" in the library's mail folder, the opener the setting "Opener" of
// section "MAIL" (a program run with the composed message's path; empty: none).

#include <string>

struct MailSettings {
    std::string outbox;
    std::string opener;
};
MailSettings CurrentMailSettings();

// Tells the person that a message stays in the outbox, and where.
void ShowLeftInOutbox(const char* emlPath);
