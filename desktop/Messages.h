#pragma once
// The desktop program's own texts (as opposed to the engine's messages it shows), by name, so
// that they follow the reader's language like the engine's. Their default texts are English.

#include "platform/Messages.h"

namespace msg::desktop {
inline constexpr char kMessageSubsystem[] = "desktop";

// clang-format off
#define VARNEX_DESKTOP_MESSAGES(M)                                                                      \
    M(Usage, "usage: varnex-desktop [--home DIR] [--user ID] [ACTION [--] FILE...]\n\nRuns one file-manager action with windows for every question. Without an action, a window\nlists the actions: files dropped on one are its files.\n\n  open        by what the file holds, whatever its name: a package is decrypted, a\n              signature file verified, a mail package unpacked; a file named as one of\n              these that is none is refused; anything else shows its properties\n  pack        a password package (.vrp) of the files and folders, beside the first\n  envelope    an envelope package for the people chosen (one per file when asked so)\n  encrypt     a package of each file for the user; each original wiped\n  share       a package of each file for the user and those allowed for its folder;\n              each original wiped\n  sign        signs each file with the user's key (a .idi beside it)\n  verify      checks .idi signature files and shows the report\n  mail        a signed, encrypted mail package for the people chosen, handed to the\n              mail program when asked\n  wipe        destroys the files and folders beyond recovery, after asking\n  properties  the property sheet of each file or folder\n\n  --home DIR  the suite folder (default $VARNEX_HOME, else ~/.varnex)\n  --user ID   the user who logs on to sign or open (default the store's)\n  --          every argument after it is a file, even one starting with '-'", MB_OK) \
    M(UnknownAction, "unknown action: %s", MB_OK | MB_ICONSTOP)                                         \
    M(NoFiles, "no file or folder named", MB_OK | MB_ICONSTOP)                                          \
    M(LinkLeftAlone, "\"%s\" is a link and was left alone: choose the file or folder it leads to.", MB_OK | MB_ICONSTOP) \
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
    M(StoreSource, "this computer", MB_OK) \
    M(SourceFailed, "The recipients from %s cannot be read: %s", MB_OK | MB_ICONEXCLAMATION) \
    M(DirectorySource, "the directory %s", MB_OK) \
    M(ChooserSearch, "&Look up in the directory", MB_OK) \
    M(CertToConfirm, "in the directory: to be confirmed when used", MB_OK) \
    M(CertConfirmTitle, "Confirm a certificate", MB_OK) \
    M(CertConfirmIntro, "The directory holds this certificate for %s. Compare its fingerprint with its holder before you confirm it: only a confirmed certificate is used.", MB_OK) \
    M(CertConfirmDetails, "Subject: %s\nE-mail: %s\nValid from %s to %s\nSHA-256 fingerprint: %s", MB_OK) \
    M(CertConfirmButton, "&Confirm this certificate", MB_OK) \
    M(CertRefuseButton, "Do &not use it", MB_OK) \
    M(RecipientsFailed, "The recipients chosen cannot be used: %s", MB_OK | MB_ICONSTOP) \
    M(ChooserTitle, "Recipients", MB_OK) \
    M(ChooserHint, "Choose who may open it (a group stands for its members):", MB_OK) \
    M(ChooserFilter, "&Search:", MB_OK) \
    M(ChooserMeToo, "&Me too (%s)", MB_OK) \
    M(ColumnName, "Name", MB_OK) \
    M(ColumnId, "ID", MB_OK) \
    M(ColumnEmail, "E-mail", MB_OK) \
    M(ColumnCert, "Certificate", MB_OK) \
    M(GroupRow, "%s (group of %d)", MB_OK) \
    M(GroupPartly, "%d of %d members can receive it", MB_OK) \
    M(CertConfirmed, "confirmed", MB_OK) \
    M(CertNotConfirmed, "installed, not confirmed yet", MB_OK) \
    M(CertChanged, "changed since it was confirmed: cannot be used", MB_OK) \
    M(CertMissing, "no certificate installed", MB_OK) \
    M(CertExpiredState, "expired: cannot be used", MB_OK) \
    M(CertNotYetState, "not valid yet: cannot be used", MB_OK) \
    M(OnePackage, "%d files and folders are chosen. Make one package of them all?\n\nYes: one package. No: one package per file or folder.", MB_YESNOCANCEL | MB_ICONQUESTION) \
    M(PackagesMade, "Packages made: %d.\n%s", MB_OK | MB_ICONINFORMATION) \
    M(EncryptDone, "Encrypted: %d, skipped: %d, failed: %d. Each original was wiped once its package was complete.\n%s", MB_OK | MB_ICONINFORMATION) \
    M(EncryptDoneContentLeft, "Encrypted: %d, skipped: %d, failed: %d. The originals were wiped once their packages were complete, but the content of %d is still on the disk under another name.\n%s", MB_OK | MB_ICONEXCLAMATION) \
    M(ShareFor, "Every package can be opened by you and by those allowed for \"%s\".", MB_OK) \
    M(ShareGrantFailed, "Those chosen could not be allowed for \"%s\": %s", MB_OK | MB_ICONSTOP) \
    M(MailFileRefused, "\"%s\" cannot go into a mail package: only files whose names hold no '\\' can.", MB_OK | MB_ICONSTOP) \
    M(MailPacked, "The mail package \"%s\" is complete.\n\nHand it to the mail program now?", MB_YESNO | MB_ICONQUESTION) \
    M(MailHandedOff, "The mail package was handed to the mail program.", MB_OK | MB_ICONINFORMATION) \
    M(VerifyNoCertificate, "\"%s\" was not checked: the signer's certificate \"%s\" is not installed.", MB_OK | MB_ICONEXCLAMATION) \
    M(VerifyFileMissing, "\"%s\" was not checked: the signed file is missing.", MB_OK | MB_ICONEXCLAMATION) \
    M(VerifyNotConfirmed, "The signature is correct, but the signer's certificate has not been confirmed: make sure it is theirs before trusting it.", MB_OK) \
    M(MainTitle, "Varnex", MB_OK) \
    M(MainHint, "Drop files or folders on an action, or choose one and press Enter to pick them.", MB_OK) \
    M(ActionOpen, "Open", MB_OK) \
    M(ActionPack, "Password package", MB_OK) \
    M(ActionEnvelope, "Envelope for recipients", MB_OK) \
    M(ActionEncrypt, "Encrypt each file", MB_OK) \
    M(ActionShare, "Encrypt for the share", MB_OK) \
    M(ActionSign, "Sign", MB_OK) \
    M(ActionVerify, "Verify", MB_OK) \
    M(ActionMail, "Mail package", MB_OK) \
    M(ActionWipe, "Wipe", MB_OK) \
    M(ActionProperties, "Properties", MB_OK) \
    M(Busy, "Another action is running; these files wait for it: %s", MB_OK) \
    M(NotAPackage, "\"%s\" is not a Varnex package, signature file or mail package; it was left as it is.", MB_OK | MB_ICONSTOP)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_DESKTOP_MESSAGES)
}  // namespace msg::desktop
