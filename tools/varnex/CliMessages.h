#pragma once
// The program's own lines (as opposed to the engine's messages it passes on), by name, so that
// they follow the reader's language like the engine's. Their default texts are English.

#include "platform/Messages.h"

namespace msg::cli {
inline constexpr char kMessageSubsystem[] = "cli";

// clang-format off
#define VARNEX_CLI_MESSAGES(M) \
    M(PasswordFileReadable, "warning: the password file %s can be read by others (mode %s); chmod 600 %s", MB_OK) \
    M(RestoredOne, "%zu file restored, %s in %.1f s", MB_OK) \
    M(RestoredMany, "%zu files restored, %s in %.1f s", MB_OK) \
    M(PackedOne, "%zu file packed, %s in %.1f s", MB_OK) \
    M(PackedMany, "%zu files packed, %s in %.1f s", MB_OK) \
    M(OneByte, "%llu byte", MB_OK) \
    M(Bytes, "%llu bytes", MB_OK) \
    M(SentBy, "sent by %s (certificate SHA-256 %s)", MB_OK) \
    M(BareDigest, "content intact, sender not proven (the package holds a bare digest, which anyone can compute)", MB_OK) \
    M(TestKinds, "--test checks password and envelope packages only", MB_OK) \
    M(Sound, "sound", MB_OK) \
    M(SoundFrom, "sound; %s", MB_OK) \
    M(NoTerminalForPassword, "no terminal to ask for the package password (use --package-password-file)", MB_OK) \
    M(CannotMakeFolder, "cannot make the folder: %s", MB_OK) \
    M(NotAFolder, "not a folder", MB_OK) \
    M(RestoredAndWiped, "restored; the package was wiped (--keep keeps it)", MB_OK) \
    M(NotVerified, "not verified", MB_OK) \
    M(OptionTwice, "option %s given twice", MB_OK) \
    M(OptionEmpty, "option %s needs a value that is not empty", MB_OK) \
    M(OptionNeedsValue, "option %s needs a value", MB_OK) \
    M(UnknownOption, "unknown option %s", MB_OK) \
    M(UnknownCommand, "unknown command '%s' (see varnex --help)", MB_OK) \
    M(UnknownCommandNear, "unknown command '%s'; did you mean '%s'? (see varnex --help)", MB_OK) \
    M(UnknownOptionNear, "unknown option %s; did you mean %s?", MB_OK) \
    M(AnswersForm, "takes kind=value pairs separated by commas", MB_OK) \
    M(AnswerNotKindValue, "'%s' is not kind=value", MB_OK) \
    M(AnswerUnknownKind, "unknown kind '%s' (replace, yes-no, retry, folder, file, confirm)", MB_OK) \
    M(AnswerNoValue, "no value for '%s'", MB_OK) \
    M(AnswerWrongWord, "'%s' does not answer '%s' (%s)", MB_OK) \
    M(UnexpectedArgument, "unexpected argument '%s'", MB_OK) \
    M(NoArguments, "%s takes no arguments", MB_OK) \
    M(UnknownSubCommand, "unknown %s command '%s'", MB_OK) \
    M(UnknownSubCommandNear, "unknown %s command '%s'; did you mean '%s'?", MB_OK) \
    M(LinkNotEncrypted, "a link, left alone: name the file or folder it leads to", MB_OK) \
    M(NoSuchFileOrFolder, "no such file or folder", MB_OK) \
    M(OnlyTempFileLeft, "no such file or folder; an interrupted run left %s in its place: wipe that", MB_OK) \
    M(NotRegularFile, "not a regular file", MB_OK) \
    M(PathTooLong, "path longer than %d bytes", MB_OK) \
    M(NobodyLoggedOn, "nobody is logged on", MB_OK) \
    M(NoSuchUser, "no user '%s' in this store", MB_OK) \
    M(StandardInputFailed, "standard input: %s", MB_OK) \
    M(StandardOutputFailed, "standard output: %s", MB_OK) \
    M(ExistsUseForce, "%s exists (use --force to replace it)", MB_OK) \
    M(NoPasswordOnStdin, "no password on standard input", MB_OK) \
    M(CannotReadPasswordFile, "cannot read the password file %s", MB_OK) \
    M(PasswordFileIsFolder, "cannot read the password file %s (a folder)", MB_OK) \
    M(PasswordFor, "Password for %s: ", MB_OK) \
    M(NoPasswordFor, "no password for '%s': give --password-file F or set VARNEX_PASSWORD", MB_OK) \
    M(FilePasswordPrompt, "Password of %s: ", MB_OK) \
    M(NoFilePassword, "no password for %s: give --password-file F", MB_OK) \
    M(WrongUserPassword, "wrong password for user '%s'", MB_OK) \
    M(NewPasswordFor, "New password for %s: ", MB_OK) \
    M(RepeatPassword, "Repeat it: ", MB_OK) \
    M(NoNewPassword, "no new password for %s: give --new-password-file F", MB_OK) \
    M(PasswordsDiffer, "the two passwords differ", MB_OK) \
    M(QuotedUser, "'%s'", MB_OK) \
    M(ThePackage, "the package", MB_OK) \
    M(PasswordTooShort, "the password needs at least 6 characters", MB_OK) \
    M(NoTerminalNewPassword, "no terminal to ask for the password (use --new-password-file)", MB_OK) \
    M(NotUnderBase, "%s is not inside the base folder %s", MB_OK) \
    M(BaseTooLong, "the base folder path is too long", MB_OK) \
    M(UnknownCipher, "unknown cipher %s (45, 46, 62, 120, 121)", MB_OK) \
    M(NotFileOrFolder, "not a file or folder", MB_OK) \
    M(EncryptedOne, "%zu file encrypted, %zu skipped, %zu failed", MB_OK) \
    M(EncryptedMany, "%zu files encrypted, %zu skipped, %zu failed", MB_OK) \
    M(EncryptedOneNotWiped, "%zu file encrypted but not wiped, %zu skipped, %zu failed", MB_OK) \
    M(EncryptedManyNotWiped, "%zu files encrypted (%zu not wiped), %zu skipped, %zu failed", MB_OK) \
    M(StoppedSuffix, ", stopped", MB_OK) \
    M(SkippedPackageName, "passed over: named as a package (.vrk)", MB_OK) \
    M(SkippedSignatureName, "passed over: named as a signature file (.idi)", MB_OK) \
    M(SkippedLockFileName, "passed over: an Office lock file (~$)", MB_OK) \
    M(SkippedGone, "passed over: no longer there when its turn came", MB_OK) \
    M(PackageMissing, "the package to write is missing (-o PACKAGE)", MB_OK) \
    M(PackageNamedTwice, "the package is named twice (-o and --output)", MB_OK) \
    M(NothingToPack, "nothing to pack", MB_OK) \
    M(NothingToEncrypt, "nothing to encrypt", MB_OK) \
    M(StdoutIsTerminal, "standard output is a terminal: redirect it, or name a file with -o", MB_OK) \
    M(StdinIsTerminal, "standard input is a terminal: redirect a package into it, or name the file", MB_OK) \
    M(StdinNamedTwice, "standard input (-) is named twice", MB_OK) \
    M(StdinNeedsTo, "a package read from standard input is restored only with --to DIR", MB_OK) \
    M(NoTempFolder, "no temporary folder: %s", MB_OK) \
    M(StandardOutputSubject, "(standard output)", MB_OK) \
    M(RecipientNotConfirmed, "%s: the certificate is installed but not confirmed; compare its fingerprint with its holder, then: varnex cert confirm '%s'", MB_OK) \
    M(RecipientCertChanged, "%s: the certificate changed since it was confirmed and is not used (varnex cert list)", MB_OK) \
    M(NoSuchUserId, "%s: no such user", MB_OK) \
    M(NoSuchGroupName, "@%s: no such group", MB_OK) \
    M(RecipientCertExpired, "%s: the certificate expired on %s (valid from %s) and is not used", MB_OK) \
    M(RecipientCertNotYetValid, "%s: the certificate is not valid before %s (until %s) and is not used", MB_OK) \
    M(ImportedCertExpired, "%s: imported, but the certificate expired on %s: nothing can be encrypted for it", MB_OK) \
    M(ImportedCertNotYetValid, "%s: imported, but the certificate is not valid before %s: nothing can be encrypted for it until then", MB_OK) \
    M(ShareMissing, "the share path is missing (--share PATH)", MB_OK) \
    M(NoPackageToDecrypt, "no package to decrypt", MB_OK) \
    M(TestWritesNothing, "--test writes nothing: it takes no --to, --keep or --direct", MB_OK) \
    M(NoFileToDescribe, "no file to describe", MB_OK) \
    M(NoPackageToList, "no package to list", MB_OK) \
    M(ReadOnlyMark, "  (read-only)", MB_OK) \
    M(NothingNamed, "no file, folder or drive named", MB_OK) \
    M(SetTakes, "--set takes +r or -r: only read-only can be changed here (hidden is a name beginning with \".\", archive is every file)", MB_OK) \
    M(NoSignatureFile, "no signature file to verify", MB_OK) \
    M(SignerNotConfirmed, "the signature is correct, but the signer's certificate has not been confirmed: make sure it is theirs before trusting it (cert list, cert confirm)", MB_OK) \
    M(SignerCertChanged, "the signature is correct for the certificate installed now, which is not the one confirmed under that name: not trusted (cert list)", MB_OK) \
    M(SignedNotSignature, "%s is the signed file, not a signature file: verify %s", MB_OK) \
    M(SignatureOfAnother, "%s is the signature of %s, not of %s beside it", MB_OK) \
    M(NoPackageNamed, "no package named", MB_OK) \
    M(NotOneFileEnvelope, "%s: not an envelope package of one file for %s, or damaged", MB_OK) \
    M(PasswordPackageList, "%s: a password package; `varnex list` shows what it holds", MB_OK) \
    M(SeveralItemsList, "%s: holds several files or folders, not one file; `varnex list` shows what it holds", MB_OK) \
    M(OriginalLine, "%s: %s  %s  %d bytes", MB_OK) \
    M(CertConfirmed, "confirmed", MB_OK) \
    M(CertChanged, "CHANGED since confirmed", MB_OK) \
    M(CertNotConfirmed, "not confirmed", MB_OK) \
    M(CertStateUnknown, "unknown", MB_OK) \
    M(DerToTerminal, "DER is not written to a terminal; name a FILE", MB_OK) \
    M(CannotWriteStdout, "cannot write to standard output", MB_OK) \
    M(FileExistsForce, "%s: %s (use --force to replace it)", MB_OK) \
    M(CertSummary, "  subject:  %s\n  e-mail:   %s\n  issuer:   %s\n  valid:    %s to %s%s\n  SHA-256:  %s", MB_OK) \
    M(NoEmail, "(none)", MB_OK) \
    M(NotYetValid, " (not yet valid)", MB_OK) \
    M(CertExpired, " (EXPIRED)", MB_OK) \
    M(CertInstalledAs, "certificate installed as %s", MB_OK) \
    M(CompareFingerprint, "Compare the fingerprint with its holder, then confirm it with: varnex cert confirm '%s'", MB_OK) \
    M(CertWritten, "certificate %s written to %s", MB_OK) \
    M(RequestWritten, "certificate request for %s written to %s", MB_OK) \
    M(UserCertInstalled, "certificate of %s installed; others need it again (varnex cert export %s)", MB_OK) \
    M(CertOwnerUser, "user %d", MB_OK) \
    M(CertOwnerOther, "other", MB_OK) \
    M(CertConfirmedName, "certificate %s confirmed", MB_OK) \
    M(CertImportArgs, "cert import takes one file", MB_OK) \
    M(CertExportArgs, "cert export takes a name and an optional file", MB_OK) \
    M(CertRequestArgs, "cert request takes a user ID and an optional file", MB_OK) \
    M(CertInstallArgs, "cert install takes a user ID and a certificate file", MB_OK) \
    M(CertConfirmArgs, "cert confirm takes a name and, if you like, the fingerprint you compared", MB_OK) \
    M(CertFingerprintDiffers, "the certificate installed as %s has the fingerprint %s, not the one given: not confirmed", MB_OK) \
    M(CertConfirmNeedsFingerprint, "without a terminal a certificate is confirmed only by its fingerprint: varnex cert confirm %s SHA256", MB_OK) \
    M(CertAskConfirm, "Compare the SHA-256 fingerprint with its holder. Confirm this certificate (yes/no)? ", MB_OK) \
    M(CertNotConfirmedAnswer, "%s: not confirmed", MB_OK) \
    M(CertNeedsSub, "cert needs import, export, list, confirm, request or install", MB_OK) \
    M(UserAddArgs, "user add takes one user ID", MB_OK) \
    M(UserImportArgs, "user import takes a user ID and a PKCS#12 file", MB_OK) \
    M(NotForUserImport, "%s is not for user import", MB_OK) \
    M(UserAdded, "user %s added as number %d", MB_OK) \
    M(UserImported, "user %s imported as number %d", MB_OK) \
    M(KeyDevice, "key device %s", MB_OK) \
    M(KeyOnToken, "token \"%s\" (%s)", MB_OK) \
    M(SoftwareKey, "software key", MB_OK) \
    M(UserRemoveArgs, "user remove takes one user ID", MB_OK) \
    M(UserRemoved, "user %s removed", MB_OK) \
    M(UserPasswdArgs, "user passwd takes at most one user ID", MB_OK) \
    M(PasswordChanged, "password of %s changed", MB_OK) \
    M(UserNeedsSub, "user needs add, import, list, remove or passwd", MB_OK) \
    M(GroupNeedsSub, "group needs add, member or list", MB_OK) \
    M(GroupAddArgs, "group add takes one name", MB_OK) \
    M(GroupAdded, "group %s added as number %d", MB_OK) \
    M(GroupMemberArgs, "group member takes a group name and at least one user ID", MB_OK) \
    M(GroupMembersAdded, "group %s: added%s", MB_OK) \
    M(GroupMembersAlready, "group %s: already members:%s", MB_OK) \
    M(ShareNeedsSub, "share needs grant or list", MB_OK) \
    M(ShareGrantArgs, "share grant takes a path and at least one USER or @GROUP", MB_OK) \
    M(NoGroupNamed, "no group named '%s'", MB_OK) \
    M(GrantedTo, "%s: granted to%s", MB_OK) \
    M(ShareListArgs, "share list takes at most one path", MB_OK) \
    M(NoDecryptors, "no decryptors are granted for %s", MB_OK) \
    M(ShareNobodyGranted, "%s: no decryptors are granted for this path; the packages are made for you alone (share grant adds others)", MB_OK) \
    M(ShareUser, "    user  %4d  %s", MB_OK) \
    M(ShareGroup, "    group %4d  @%s", MB_OK) \
    M(ShareDirectoryGroup, "    directory group  @%s", MB_OK) \
    M(OptionGetArgs, "option get takes a section and a key", MB_OK) \
    M(OptionNotSet, "option %s of section %s is not set", MB_OK) \
    M(OptionSetArgs, "option set takes a section, a key and a value", MB_OK) \
    M(OptionSetTo, "option %s of section %s set to '%s'", MB_OK) \
    M(OptionNeedsSub, "option needs get or set", MB_OK) \
    M(UnknownSection, "no section %s holds settings", MB_OK) \
    M(UnknownSectionNear, "no section %s holds settings; did you mean %s?", MB_OK) \
    M(UnknownSetting, "no setting %s in section %s", MB_OK) \
    M(UnknownSettingNear, "no setting %s in section %s; did you mean %s?", MB_OK) \
    M(BadSettingValue, "'%s' is no value of option %s of section %s (one of: %s)", MB_OK) \
    M(InitReady, "suite folder %s is ready", MB_OK) \
    M(MailChooseKind, "choose --encrypt, --sign or both", MB_OK) \
    M(MailRecipientsMissing, "the recipients are missing (--to NAME[,NAME...])", MB_OK) \
    M(ToNamesNobody, "--to '%s' names no recipient", MB_OK) \
    M(NoFileToPack, "no file to pack", MB_OK) \
    M(MailNotAFile, "%s: not a file (mail packages carry files, not folders)", MB_OK) \
    M(MailBackslash, "%s: a name holding '\\' cannot travel in a mail package", MB_OK) \
    M(NameOnePackage, "name one package (or - for standard input)", MB_OK) \
    M(NotEnoughMemoryFiles, "%s: not enough memory for the files it announces", MB_OK) \
    M(DamagedMark, " (damaged: its content CRC failed)", MB_OK) \
    M(NotSigned, "not signed", MB_OK) \
    M(SignatureValid, "valid", MB_OK) \
    M(SignatureNotValid, "NOT valid", MB_OK) \
    M(NoCertToCheck, "no certificate installed to check it", MB_OK) \
    M(NotChecked, "not checked", MB_OK) \
    M(SignedBy, "signed by %s: %s", MB_OK) \
    M(RoundsRange, "--rounds takes a number from 1 to 1000000", MB_OK) \
    M(CiphersOneRound, "ciphers 45, 62, 46 (%ld round): %s", MB_OK) \
    M(CiphersRounds, "ciphers 45, 62, 46 (%ld rounds): %s", MB_OK) \
    M(Passed, "passed", MB_OK) \
    M(FailedVerdict, "FAILED", MB_OK) \
    M(KeysNotAvailable, "keys not available", MB_OK) \
    M(RsaKeyPair, "RSA key pair of %s: %s", MB_OK) \
    M(NoUser, "(no user)", MB_OK) \
    M(NoFileToSign, "no file to sign", MB_OK) \
    M(SignPathLength, "%s: a path to sign has 1 to %d bytes", MB_OK) \
    M(SignStandardInput, "standard input cannot be signed: a signature file lies beside its file (./- names a file called -)", MB_OK) \
    M(SignLimitOne, "not signed: one run signs at most %zu files; sign it in another run", MB_OK) \
    M(SignLimitMany, "not signed, nor %zu more named after it: one run signs at most %zu files; sign them in another run", MB_OK) \
    M(NothingToWipe, "nothing to wipe", MB_OK) \
    M(RefuseDots, "refusing to wipe '.' or '..'", MB_OK) \
    M(RefuseRoot, "refusing to wipe the root folder", MB_OK) \
    M(NotFileFolderLink, "not a file, folder or link (left alone)", MB_OK) \
    M(NotAllDeleted, "not everything was deleted; see %s", MB_OK) \
    M(WipedOne, "%zu path wiped", MB_OK) \
    M(WipedMany, "%zu paths wiped", MB_OK) \
    M(CannotMakeTempFolder, "cannot make a temporary folder", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_CLI_MESSAGES)
}  // namespace msg::cli
