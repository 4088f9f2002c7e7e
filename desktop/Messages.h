#pragma once
// The desktop program's own texts (as opposed to the engine's messages it shows), by name, so
// that they follow the reader's language like the engine's. Their default texts are English.

#include "platform/Messages.h"

namespace msg::desktop {
inline constexpr char kMessageSubsystem[] = "desktop";

// clang-format off
#define VARNEX_DESKTOP_MESSAGES(M)                                                                      \
    M(Usage, "usage: varnex-desktop [--home DIR] [--user ID] ACTION [--] FILE...\n\nRuns one file-manager action with windows for every question.\n\n  open        a package is decrypted, a signature file verified, a mail package unpacked,\n              known by what the file holds, whatever its name; anything else is refused\n  pack        a password package (.vrp) of the files and folders, beside the first\n  sign        signs each file with the user's key (a .idi beside it)\n  verify      checks .idi signature files and shows the report\n  wipe        destroys the files and folders beyond recovery, after asking\n  properties  the property sheet of each file or folder\n\n  --home DIR  the suite folder (default $VARNEX_HOME, else ~/.varnex)\n  --user ID   the user who logs on to sign or open (default the store's)\n  --          every argument after it is a file, even one starting with '-'", MB_OK) \
    M(UnknownAction, "unknown action: %s", MB_OK | MB_ICONSTOP)                                         \
    M(NoFiles, "no file or folder named", MB_OK | MB_ICONSTOP)                                          \
    M(NoSuchFile, "\"%s\" does not exist.", MB_OK | MB_ICONSTOP)                                        \
    M(StoreFailed, "The suite folder cannot be opened: %s", MB_OK | MB_ICONSTOP)                        \
    M(Try, "Try %d", MB_OK)                                                                             \
    M(BytesRate, "%s of %s, %s/s", MB_OK)                                                               \
    M(BytesOnly, "%s, %s/s", MB_OK)                                                                     \
    M(Stopping, "Stopping...", MB_OK)                                                                   \
    M(Stopped, "Stopped: nothing half-made was left behind.", MB_OK | MB_ICONINFORMATION)              \
    M(Packed, "The package \"%s\" is complete.", MB_OK | MB_ICONINFORMATION)                           \
    M(WipeConfirm, "These will be destroyed beyond recovery:\n%s\n\nWipe them?", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) \
    M(WipeMore, "and %d more", MB_OK)                                                                   \
    M(Wiped, "Wiped beyond recovery: %d.", MB_OK | MB_ICONINFORMATION)                                 \
    M(WipeIncomplete, "Not everything was deleted; see %s", MB_OK | MB_ICONSTOP)                        \
    M(NotVerified, "\"%s\" was not verified.", MB_OK | MB_ICONSTOP)                                     \
    M(LogonTitle, "Log on", MB_OK) \
    M(LogonPrompt, "Logon password of %s:", MB_OK) \
    M(LogonFailed, "Cannot log on: %s", MB_OK | MB_ICONSTOP) \
    M(Signed, "Signed: %d; each signature file (.idi) lies beside its file.", MB_OK | MB_ICONINFORMATION) \
    M(NotSigned, "Nothing was signed.", MB_OK | MB_ICONEXCLAMATION) \
    M(MailDamaged, "\"%s\" is damaged: its content failed the CRC check.", MB_OK | MB_ICONSTOP) \
    M(MailNotSigned, "The mail is unpacked; it was not signed.", MB_OK | MB_ICONINFORMATION) \
    M(MailSignatureValid, "The mail is unpacked; its signature is valid.", MB_OK | MB_ICONINFORMATION) \
    M(MailNoCertificate, "The mail is unpacked; no certificate is installed to check its signature.", MB_OK | MB_ICONEXCLAMATION) \
    M(MailSignatureBad, "The mail is unpacked, but its signature is NOT valid.", MB_OK | MB_ICONSTOP) \
    M(NotDecrypted, "Nothing was decrypted from \"%s\".", MB_OK | MB_ICONEXCLAMATION) \
    M(NotAPackage, "\"%s\" is not a Varnex package, signature file or mail package; it was left as it is.", MB_OK | MB_ICONSTOP)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_DESKTOP_MESSAGES)
}  // namespace msg::desktop
