#pragma once
// What `varnex demo` says as it goes: the title of each step and its narration, by name so that
// the tour follows the reader's language like the rest of the program.

#include "platform/Messages.h"

namespace msg::cli_demo {
inline constexpr char kMessageSubsystem[] = "cli.demo";

// clang-format off
#define VARNEX_CLI_DEMO_MESSAGES(M) \
    M(DemoIn, "Varnex demo in %s", MB_OK) \
    M(StepFailed, "  step failed", MB_OK) \
    M(Finished, "Demo finished.", MB_OK) \
    M(Stopped, "Demo stopped.", MB_OK) \
    M(TitleEncryptInPlace, "Files encrypted in place under generated names; one reopened; one shared with a group", MB_OK) \
    M(TitleSelfTests, "Cipher self-tests", MB_OK) \
    M(TitleBlockRoundTrip, "A file block through each software cipher", MB_OK) \
    M(TitleCardsAbsent, "Hardware cipher cards when none is installed", MB_OK) \
    M(TitleSignature, "Signing with the default digest and checking the signature", MB_OK) \
    M(TitleProgress, "Progress of a bulk operation", MB_OK) \
    M(TitleReplaceQuestion, "The replace question before a file is overwritten", MB_OK) \
    M(TitleIdentifiers, "Engine identifiers and the choice for new files", MB_OK) \
    M(TitleCrc, "CRC-16 over stored bytes", MB_OK) \
    M(TitleCheckedIo, "Checked file I/O reports each failure once", MB_OK) \
    M(TitleSealForTwo, "An envelope package for two users, opened by one, refused to a third", MB_OK) \
    M(TitleUsers, "The logon store: two users with their keys", MB_OK) \
    M(TitleGroupShare, "A group and a shared folder resolve to user numbers", MB_OK) \
    M(TitlePackRestore, "A password package of a folder tree, restored byte for byte", MB_OK) \
    M(TitlePropertySheets, "Property sheets of a package (with its security page) and of a drive (mount point)", MB_OK) \
    M(TitleWipe, "Secure deletion: random and zero fill, links left alone, the delete log", MB_OK) \
    M(TitleSignVerify, "Signature files: signed, verified, changed, verified again; security information", MB_OK) \
    M(Yes, "yes", MB_OK) \
    M(No, "no", MB_OK) \
    M(NoUpper, "NO", MB_OK) \
    M(Passed, "passed", MB_OK) \
    M(Failed, "failed", MB_OK) \
    M(FailedMark, "(failed)", MB_OK) \
    M(Ready, "ready", MB_OK) \
    M(NothingRestored, "nothing restored", MB_OK) \
    M(OfferRestored, "offer.txt restored", MB_OK) \
    M(Verified, "verified", MB_OK) \
    M(NotVerified, "NOT verified", MB_OK) \
    M(NotRefused, "NOT REFUSED", MB_OK) \
    M(KeyOnDevice, "key on a key device", MB_OK) \
    M(KeyInStore, "key in the store, encrypted", MB_OK) \
    M(User, "user", MB_OK) \
    M(Group, "group", MB_OK) \
    M(Identical, "identical", MB_OK) \
    M(Different, "DIFFERENT", MB_OK) \
    M(Recreated, "recreated", MB_OK) \
    M(Missing, "missing", MB_OK) \
    M(WritableWrong, "writable (WRONG)", MB_OK) \
    M(ReadOnly, "read-only", MB_OK) \
    M(StillThere, "STILL THERE", MB_OK) \
    M(Gone, "gone", MB_OK) \
    M(Untouched, "untouched", MB_OK) \
    M(Changed, "CHANGED", MB_OK) \
    M(ReportHolds, "%s holds \"%s\", modified %s", MB_OK) \
    M(OpenedAgain, "opened again: %s", MB_OK) \
    M(MemoShared, "memo.txt shared for the team as %s: bob (a member) is told its name: %s; carol is not: %s", MB_OK) \
    M(SelfTests, "DES, two-key triple DES and IDEA, 3 rounds each: %s", MB_OK) \
    M(BlockRoundTrip, "cipher %d, %d-byte random key: %zu bytes in, %d out, restored: %s", MB_OK) \
    M(CipherState, "cipher %d: %s", MB_OK) \
    M(SignedWithDigest, "signed %zu bytes with digest 42 (SHA-0): %u-byte RSA signature", MB_OK) \
    M(VerifiedAsSigned, "verified as signed: %d; with one letter changed: %d, \"%s\"", MB_OK) \
    M(NoBar, "(standard error is not a terminal: the bar is not drawn)", MB_OK) \
    M(WindowEnded, "the window ended at %s with %s", MB_OK) \
    M(ReplaceAnswers, "answered \"都不替换\": %d (keep this and every later file); \"取消\": %d (stop)", MB_OK) \
    M(Ciphers, "ciphers:", MB_OK) \
    M(Digests, "digests:", MB_OK) \
    M(NewFileIdentifiers, "a new secured file is written with cipher %d, digest %d, format version %c.%c", MB_OK) \
    M(CrcStored, "CRC of \"%s\" as stored: %04X (bytes %02X %02X)", MB_OK) \
    M(ExactRead, "exact read of 4 bytes, 2 before the end: result %d, message \"%s\"", MB_OK) \
    M(LooseRead, "the same read, not exact: result %d, %lu bytes", MB_OK) \
    M(AliceSealed, "alice sealed %s for alice and bob: %s, %ju bytes, signed by alice", MB_OK) \
    M(AliceOpens, "alice opens it: %s, signature %s", MB_OK) \
    M(CarolRefused, "carol is refused: %s", MB_OK) \
    M(UserLine, "user %d %-6s %-28s %s", MB_OK) \
    M(SessionKey, "a 24-byte session key wrapped for alice: %d bytes; opened with bob's password: %s; with alice's: %s", MB_OK) \
    M(GroupNumbers, "group %d \"%s\": user numbers", MB_OK) \
    M(MayBeOpenedBy, "%s may be opened by:", MB_OK) \
    M(Packing, "packing %s (4 files, an empty folder, a read-only file) ...", MB_OK) \
    M(PackageMade, "package: %s, %ju bytes, cipher %d", MB_OK) \
    M(RestoredInto, "restored into %s: contents %s, empty folder %s, readme.txt %s", MB_OK) \
    M(WipeTree, "%s: a 50,000-byte file, a small one, and a link to %s/keep.txt", MB_OK) \
    M(RandomFill, "random fill: result %d, tree %s, link target %s", MB_OK) \
    M(ZeroFill, "zero fill of a folder holding dirinfo: result %d; %s says:", MB_OK) \
    M(Signed, "signed: %s (%ju bytes)", MB_OK) \
    M(VerifiedResult, "verified (result %d):", MB_OK) \
    M(VerifiedAgain, "one byte changed, verified again (result %d):", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_CLI_DEMO_MESSAGES)
}  // namespace msg::cli_demo
