#pragma once
// What the logon store says when it refuses or fails: the reason LastError() gives, by name, so
// that a host shows it in the reader's language. The default texts are English, as the store
// has always given them.

#include "platform/Messages.h"

namespace msg::logon_store {
inline constexpr char kMessageSubsystem[] = "logon.store";

// clang-format off
#define VARNEX_LOGON_STORE_MESSAGES(M) \
    M(NoCertOfKey, "%s holds no certificate of its private key", MB_OK) \
    M(NoPrivateKey, "%s holds no private key", MB_OK) \
    M(NoReadableCert, "%s holds no readable X.509 certificate (PEM, DER or PKCS#7)", MB_OK) \
    M(OnlyCaCerts, "%s holds only CA certificates (CA:TRUE); install the certificate of the person instead", MB_OK) \
    M(SeveralPeople, "%s holds the certificates of %s people; install them one file at a time", MB_OK) \
    M(NotPkcs12, "%s is not a PKCS#12 file", MB_OK) \
    M(TooLarge, "%s is too large (%s bytes) for what it should hold", MB_OK) \
    M(KeyCannotOpen, "the private key of '%s' cannot be opened", MB_OK) \
    M(CertUnreadable, "the certificate '%s' cannot be read", MB_OK) \
    M(CertChangedWhileConfirming, "the certificate '%s' changed while it was being confirmed; look at it again", MB_OK) \
    M(GroupExists, "a group named '%s' exists", MB_OK) \
    M(DeviceHoldsKeyIn, "the key device already holds a key for '%s' in %s; if no logon store uses it, remove that file and try again", MB_OK) \
    M(NoSuchUser, "no user '%s' in this store", MB_OK) \
    M(RegisteredUserCert, "'%s' is a registered user; that certificate belongs to the user's own key", MB_OK) \
    M(NoSuchCert, "no certificate named '%s' is installed", MB_OK) \
    M(DeviceAbsent, "the key device of '%s' is not present", MB_OK) \
    M(UserCertNotReplaced, "'%s' is the certificate of a registered user; it is not replaced", MB_OK) \
    M(OtherCertInstalled, "another certificate is installed as '%s'; it is replaced only when asked to (--force)", MB_OK) \
    M(UserRemovedMeanwhile, "user '%s' was removed meanwhile", MB_OK) \
    M(NoSuchGroup, "no group named '%s'", MB_OK) \
    M(DeviceHoldsKey, "the key device %s already holds a key for '%s'", MB_OK) \
    M(CertForOtherKey, "%s: the certificate is for another key, not for the key of '%s'", MB_OK) \
    M(WrongPassword, "wrong password for user '%s'", MB_OK) \
    M(CertForOtherAddress, "%s: the certificate is for the address '%s', not for '%s' of user '%s'", MB_OK) \
    M(CertNotUsers, "%s: the certificate cannot be the certificate of '%s': %s", MB_OK) \
    M(Pkcs12Unreadable, "%s: its contents cannot be read (damaged, or protected with an unknown cipher)", MB_OK) \
    M(NoRsaKey, "%s: the certificate holds no RSA public key, so nothing can be encrypted for it", MB_OK) \
    M(NoCertName, "%s: the certificate holds no name (CN)", MB_OK) \
    M(CertDamaged, "%s: the certificate is damaged (its signature does not match its contents)", MB_OK) \
    M(KeyNotRsa, "%s: the key is not an RSA key; users sign and receive session keys with RSA", MB_OK) \
    M(InstallUnderOtherName, "%s; install the certificate under another name (--name)", MB_OK) \
    M(NotAFolder, "%s is not a folder", MB_OK) \
    M(NotUsableStore, "%s is not a logon store this program can use (%s)", MB_OK) \
    M(CannotCreateFolder, "cannot create the folder %s: %s", MB_OK) \
    M(CannotOpenStore, "cannot open the logon store %s: %s", MB_OK) \
    M(NoGroupNumber, "no group number %d in this store", MB_OK) \
    M(NoUserNumber, "no user number %d in this store", MB_OK) \
    M(CannotRegisterUser, "cannot register the user: %s", MB_OK) \
    M(NameItWithName, " (name it with --name)", MB_OK) \
    M(EmptyKey, "a key must not be empty", MB_OK) \
    M(EmptySection, "a section name must not be empty", MB_OK) \
    M(CannotAddGroup, "cannot add the group: %s", MB_OK) \
    M(CannotChangeGroup, "cannot change the group: %s", MB_OK) \
    M(CannotChangePassword, "cannot change the password: %s", MB_OK) \
    M(CannotChangeSettings, "cannot change the settings: %s", MB_OK) \
    M(CannotConfirmCert, "cannot confirm the certificate: %s", MB_OK) \
    M(CannotFinishDevice, "cannot finish writing the key device %s", MB_OK) \
    M(CannotGrantShare, "cannot grant the share: %s", MB_OK) \
    M(CannotInstallCert, "cannot install the certificate: %s", MB_OK) \
    M(CannotMakeRequest, "cannot make the certificate request", MB_OK) \
    M(CannotMakeKeyPair, "cannot make the key pair and certificate", MB_OK) \
    M(CannotMakeKeyOnDevice, "cannot make the key pair on the key device %s", MB_OK) \
    M(CannotMakeVerifier, "cannot make the password verifier", MB_OK) \
    M(CannotProtectKey, "cannot protect the private key", MB_OK) \
    M(CannotRead, "cannot read %s", MB_OK) \
    M(CannotReadBecause, "cannot read %s: %s", MB_OK) \
    M(CannotReadCertOf, "cannot read the certificate of %s", MB_OK) \
    M(CannotReadCerts, "cannot read the certificates: %s", MB_OK) \
    M(CannotReadGroups, "cannot read the groups: %s", MB_OK) \
    M(CannotReadShares, "cannot read the shares: %s", MB_OK) \
    M(CannotReadUsers, "cannot read the users: %s", MB_OK) \
    M(CannotRemoveUser, "cannot remove the user: %s", MB_OK) \
    M(CannotUseDeviceFolder, "cannot use the key device folder %s", MB_OK) \
    M(CannotWriteDevice, "cannot write the key to the key device %s", MB_OK) \
    M(CannotRewriteDevice, "cannot write the key under the new password to the key device %s; the password is unchanged", MB_OK) \
    M(NameSomeoneToGrant, "name at least one user or group to grant", MB_OK) \
    M(NoSuiteFolder, "no suite folder given", MB_OK) \
    M(NotAUsersCert, "%s: the certificate cannot be a user's certificate: %s", MB_OK) \
    M(DeviceMakesOwnKeys, "the key device %s makes its own keys and takes none", MB_OK) \
    M(IntegrityFailed, "the logon store failed its integrity check: %s", MB_OK) \
    M(NotOpen, "the logon store is not open", MB_OK) \
    M(NoUsersYet, "this store has no users yet (add one with: varnex user add ID --name NAME)", MB_OK) \
    M(SeveralUsers, "this store has several users: name one with --user ID", MB_OK) \
    M(UnknownDecryptorType, "unknown decryptor type", MB_OK) \
    M(WrongFilePassword, "wrong password for %s", MB_OK) \
    M(CannotOpenFile, "cannot open %s: %s", MB_OK) \
    M(RefuseSuiteFolder, "refusing the suite folder: %s belongs to %s and has mode %04o (it must be yours and %s by you alone)", MB_OK) \
    M(Writable, "writable", MB_OK) \
    M(Readable, "readable", MB_OK) \
    M(RefuseParent, "refusing to make a suite folder in %s: it belongs to %s and has mode %04o", MB_OK) \
    M(OwnerNamed, "user %s (%u)", MB_OK) \
    M(OwnerNumber, "user %u", MB_OK) \
    M(CertNameIsUsersKeyText, "'%s' is the key text of user '%s'", MB_OK) \
    M(UserHasKeyText, "user '%s' already has the key text '%s'", MB_OK) \
    M(CertHasKeyText, "the installed certificate '%s' already answers to the key text '%s'", MB_OK) \
    M(UserIdTaken, "the user ID '%s' is taken", MB_OK) \
    M(CertNameTaken, "a certificate named '%s' is installed; choose another user ID", MB_OK) \
    M(DeviceNotPresent, "the key device is not present", MB_OK) \
    M(KeyFileLeft, "the key file %s was not erased (%s); it still opens with the user's password: delete it", MB_OK) \
    M(TooLong, "%s is %zu bytes long; at most %zu are allowed", MB_OK) \
    M(TheUserId, "the user ID", MB_OK) \
    M(TheCertName, "the certificate name", MB_OK) \
    M(ThePassword, "the password", MB_OK) \
    M(TheGroupName, "the group name", MB_OK) \
    M(TheSharePath, "the share path", MB_OK) \
    M(TheSectionName, "the section name", MB_OK) \
    M(TheKey, "the key", MB_OK) \
    M(TheValue, "the value", MB_OK) \
    M(UserIdEmpty, "a user ID must not be empty", MB_OK) \
    M(CertNameEmpty, "the certificate name must not be empty", MB_OK) \
    M(UserIdCharacters, "a user ID must not begin with '.' or '@', nor hold blanks at its ends, control characters or any of / \\ ; < >", MB_OK) \
    M(CertNameCharacters, "the certificate name must not begin with '.' or '@', nor hold blanks at its ends, control characters or any of / \\ ; < >", MB_OK) \
    M(UserIdShare, "a user ID must not begin with \"share:\"", MB_OK) \
    M(CertNameShare, "the certificate name must not begin with \"share:\"", MB_OK) \
    M(NameEmpty, "a name must not be empty", MB_OK) \
    M(NameCharacters, "a name must not hold blanks at its ends, control characters or any of ; < >", MB_OK) \
    M(NotAnAddress, "'%s' is not an e-mail address", MB_OK) \
    M(KeyTextTooLong, "name and e-mail address take %zu bytes together (as name<address>); at most %zu are allowed", MB_OK) \
    M(PasswordTooShort, "the password needs at least 6 characters", MB_OK) \
    M(GroupNameEmpty, "a group name must not be empty", MB_OK) \
    M(GroupNameCharacters, "a group name must not begin with '@', nor hold blanks at its ends, control characters or ';'", MB_OK) \
    M(GroupNameComma, "a group name must not hold ',': lists of recipients are split at commas", MB_OK) \
    M(SharePathEmpty, "a share path must not be empty", MB_OK) \
    M(SharePathControl, "a share path must not hold control characters", MB_OK) \
    M(HoldsControl, "%s must not hold control characters", MB_OK) \
    M(NoCertificate, "there is no certificate", MB_OK) \
    M(ExtensionsUnreadable, "its extensions cannot be read", MB_OK) \
    M(IsCaCert, "it is a CA certificate (CA:TRUE), not a person's", MB_OK) \
    M(NotValidBefore, "it is not valid before %s", MB_OK) \
    M(ExpiredOn, "it expired on %s", MB_OK) \
    M(NoEmailProtection, "its extended key usage leaves out e-mail protection", MB_OK) \
    M(KeyUsageTooNarrow, "its key usage does not allow both signing and key encipherment", MB_OK) \
    M(NewerStore, "it was made by a newer version of this program (store version %d, this program knows up to %d)", MB_OK)
// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_LOGON_STORE_MESSAGES)
}  // namespace msg::logon_store
