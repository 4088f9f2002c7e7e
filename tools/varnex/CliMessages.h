#pragma once
// The program's own lines (as opposed to the engine's messages it passes on), by name, so that
// they follow the reader's language like the engine's. Their default texts are English.

#include "platform/Messages.h"

namespace msg::cli {
inline constexpr char kMessageSubsystem[] = "cli";

// clang-format off
#define VARNEX_CLI_MESSAGES(M)                                                                          \
    M(PasswordFileReadable, "warning: the password file %s can be read by others (mode %s); chmod 600 %s", MB_OK) \
    M(RestoredOne, "%zu file restored, %s in %.1f s", MB_OK)                                            \
    M(RestoredMany, "%zu files restored, %s in %.1f s", MB_OK)                                          \
    M(PackedOne, "%zu file packed, %s in %.1f s", MB_OK)                                                \
    M(PackedMany, "%zu files packed, %s in %.1f s", MB_OK)                                              \
    M(OneByte, "%llu byte", MB_OK)                                                                      \
    M(Bytes, "%llu bytes", MB_OK)                                                                       \
    M(SentBy, "sent by %s (certificate SHA-256 %s)", MB_OK)                                             \
    M(BareDigest, "content intact, sender not proven (the package holds a bare digest, which anyone can compute)", MB_OK) \
    M(TestKinds, "--test checks password and envelope packages only", MB_OK)                            \
    M(Sound, "sound", MB_OK)                                                                            \
    M(SoundFrom, "sound; %s", MB_OK)                                                                    \
    M(NoTerminalForPassword, "no terminal to ask for the package password (use --package-password-file)", MB_OK) \
    M(CannotMakeFolder, "cannot make the folder: %s", MB_OK)                                            \
    M(NotAFolder, "not a folder", MB_OK)                                                                \
    M(RestoredAndWiped, "restored; the package was wiped (--keep keeps it)", MB_OK)                     \
    M(NotVerified, "not verified", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_CLI_MESSAGES)
}  // namespace msg::cli
