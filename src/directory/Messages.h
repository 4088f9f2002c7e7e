#pragma once
// What the directory client and the recipients it resolves say: each failure of the
// organisation's directory is one message, in the reader's language.

#include "platform/Messages.h"

namespace msg::directory {
inline constexpr char kMessageSubsystem[] = "directory";

// clang-format off
#define VARNEX_DIRECTORY_MESSAGES(M) \
    M(NotSetUp, "no directory is set up (varnex option set Directory URI ldap://HOST)", MB_OK) \
    M(BadUri, "'%s' is not a directory address (ldap://HOST or ldaps://HOST)", MB_OK) \
    M(BadStartTls, "the directory's StartTLS setting '%s' is neither TRUE nor FALSE", MB_OK) \
    M(BadTimeLimit, "the directory's time limit '%s' is not a number of seconds from 1 to 600", MB_OK) \
    M(PasswordFileUnreadable, "the directory's password file %s cannot be read", MB_OK) \
    M(Unreachable, "the directory %s cannot be reached: %s", MB_OK) \
    M(NotTrusted, "the directory %s is not trusted (its TLS certificate cannot be verified): %s", MB_OK) \
    M(NoTls, "the directory %s does not offer TLS (StartTLS was refused): %s", MB_OK) \
    M(CaFileUnusable, "the directory's CA file %s cannot be read as certificates", MB_OK) \
    M(BindRefused, "the directory %s refused the log-in as %s: %s", MB_OK) \
    M(TimedOut, "the directory %s did not answer within %d seconds", MB_OK) \
    M(StoppedAnswering, "the directory %s stopped answering: %s", MB_OK) \
    M(SearchFailed, "the directory %s refused the search: %s", MB_OK) \
    M(TooManyEntries, "the directory answered more than %zu entries for '%s'; look for something narrower", MB_OK) \
    M(NotFound, "the directory holds no one named '%s'", MB_OK) \
    M(SeveralEntries, "the directory holds %zu entries for '%s'; a recipient must be exactly one", MB_OK) \
    M(NoCertificate, "the directory's entry for '%s' holds no certificate", MB_OK) \
    M(CertTooLarge, "the directory's certificate for '%s' is %zu bytes long; at most %zu are taken", MB_OK) \
    M(CertUnreadable, "the directory's certificate for '%s' cannot be read", MB_OK) \
    M(CertOtherAddress, "the directory's certificate for '%s' is for another address ('%s')", MB_OK) \
    M(CertUnusable, "the directory's certificate for '%s' cannot be used: %s", MB_OK) \
    M(NoSuchGroup, "the directory holds no group named '%s'", MB_OK) \
    M(GroupTooLarge, "the directory's group '%s' has %zu members; at most %zu can receive a package", MB_OK) \
    M(MembersLeftOut, "these members of the group '%s' have no usable certificate and are left out: %s", MB_OK) \
    M(GroupNobody, "the group '%s' has no member anything can be encrypted for", MB_OK) \
    M(ShareGroupFailed, "the share's directory group '%s' cannot be used, so nothing is encrypted: %s", MB_OK) \
    M(ShowCert, "Certificate of '%s' from the directory:\n  subject: %s\n  e-mail: %s\n  valid: %s to %s\n  SHA-256: %s", MB_OK) \
    M(AskConfirm, "Compare the SHA-256 fingerprint with its holder. Use this certificate (yes/no)? ", MB_OK) \
    M(NotConfirmed, "the certificate of '%s' from the directory is not confirmed; confirm it by its fingerprint (--answers confirm=%s)", MB_OK) \
    M(CannotCache, "the confirmed certificate of '%s' cannot be kept in the store: %s", MB_OK) \
    M(SearchArgs, "directory search takes one TEXT", MB_OK) \
    M(CommandSummary, "people of the organisation's directory: name, e-mail, certificate state", MB_OK) \
    M(CommandHelp, "  search TEXT   the people whose name, e-mail address or uid holds TEXT, with the state\n                of their certificates; set the directory up with\n                varnex option set Directory URI|StartTLS|Base|BindDN|BindPasswordFile|CAFile|TimeLimit VALUE\n  --json        one JSON document\n", MB_OK) \
    M(StateUsable, "usable", MB_OK) \
    M(StateNone, "no certificate", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_DIRECTORY_MESSAGES)
}  // namespace msg::directory
