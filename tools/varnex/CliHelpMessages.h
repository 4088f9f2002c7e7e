#pragma once
// What `varnex --help` and each command's --help say: the program's usage, every command's
// one-line summary and the paragraph that explains its options, by name so that they follow the
// reader's language. A command registers its summary and help with these entries.

#include "platform/Messages.h"

namespace msg::cli_help {
inline constexpr char kMessageSubsystem[] = "cli.help";

// clang-format off
#define VARNEX_CLI_HELP_MESSAGES(M) \
    M(ProgramHelp, \
      "usage: varnex [global options] COMMAND [arguments]\n\n" \
      "Protects files and folder trees with passwords and digital envelopes, signs and\n" \
      "verifies files, builds secured mail packages and wipes files.\n\n" \
      "Global options (before or after the command):\n" \
      "  --home DIR                   suite folder (default $VARNEX_HOME, else ~/.varnex)\n" \
      "  --user ID                    user to log on as\n" \
      "  --password-file F            logon password (first line of F; also $VARNEX_PASSWORD)\n" \
      "  --new-password-file F        password for a new package or a new user\n" \
      "  --package-password-file F    password that opens password packages ('-': standard input)\n" \
      "                               A password file's first line is the password, spaces included.\n" \
      "  --pin-file F                 PIN of a key-device token (first line of F; else it is asked)\n" \
      "  --answers LIST               answer every question from LIST (kind=value,...):\n" \
      "                               replace=yes|all|no|none|cancel, yes-no=yes|no,\n" \
      "                               retry=retry|cancel|abort|ignore, folder=DIR, file=PATH\n" \
      "                               confirm=SHA256 (a certificate's fingerprint, with or\n" \
      "                               without colons; yes-no=yes never confirms one)\n" \
      "  --quiet                      no progress bar, no summary lines\n" \
      "  --verbose                    one line per file as it is done\n" \
      "  --help, --version\n", MB_OK) \
    M(Commands, "Commands:", MB_OK) \
    M(ProgramHelpEnd, \
      "Exit status: 0 done, 1 failed, 2 usage error, 3 stopped.\n" \
      "'varnex COMMAND --help' explains one command's arguments.\n", MB_OK) \
    M(ShortUsage, \
      "usage: varnex [global options] COMMAND [arguments]\n" \
      "'varnex --help' lists the commands and global options.\n", MB_OK) \
    M(Usage, "usage: varnex %s", MB_OK) \
    M(SubCommandHelp, "'varnex %s COMMAND --help' explains one of them.", MB_OK) \
    M(Cert, "installed certificates of other people and their confirmation; the users' own from a CA", MB_OK) \
    M(CertImport, "install another person's certificate (PEM, DER or a PKCS#7 bundle)", MB_OK) \
    M(CertImportHelp, \
      "  --name NAME  the name to install it under (default: the certificate's own name, CN)\n" \
      "  --force      replace another certificate installed under that name (if it was\n" \
      "               confirmed, it is listed as CHANGED until confirmed again)\n\n" \
      "Shows the certificate's subject, e-mail, issuer, validity and SHA-256 fingerprint. Compare\n" \
      "the fingerprint with its holder, then record it with cert confirm. Of a bundle, the\n" \
      "person's certificate is installed (not a CA's), with the issuers that came with it.\n", MB_OK) \
    M(CertExport, "write a certificate as PEM to FILE, or to standard output ('-')", MB_OK) \
    M(CertExportHelp, \
      "  --der    write DER instead of PEM\n" \
      "  --force  replace FILE if it exists (atomically); without it an existing FILE is refused\n", MB_OK) \
    M(CertList, "installed certificates: name, holder, owner, confirmation, fingerprint", MB_OK) \
    M(CertConfirm, "record a certificate as checked with its holder", MB_OK) \
    M(CertConfirmHelp, \
      "SHA256, the fingerprint you compared with the holder (colons optional), must be the\n" \
      "installed certificate's, else nothing is confirmed; so must a confirm= of --answers.\n" \
      "Without either, the certificate is shown at a terminal and confirmed only when you answer\n" \
      "yes; a script (no terminal, or --answers) must name the fingerprint.\n" \
      "A confirmed certificate that changes afterwards is listed as CHANGED.\n", MB_OK) \
    M(CertRequest, "write a PKCS#10 request (PEM) for the user's key, for a CA to sign", MB_OK) \
    M(CertRequestHelp, \
      "The request names the subject of the user's certificate and asks for e-mail protection.\n" \
      "The user's password opens the key (--password-file, $VARNEX_PASSWORD, or asked).\n\n" \
      "  --force  replace FILE if it exists\n", MB_OK) \
    M(CertInstall, "make the certificate a CA issued for the user's key the user's certificate", MB_OK) \
    M(CertInstallHelp, \
      "FILE is PEM, DER or PKCS#7; a chain that comes with it is kept. Refused when the certificate\n" \
      "is for another key, not valid now, a CA's, not for e-mail protection where it says what it\n" \
      "is for, or for another address than the user's. Takes the user's password. Packages and\n" \
      "signatures made before stay valid: the key is the same.\n", MB_OK) \
    M(Decrypt, "restore password and envelope packages (one password per batch)", MB_OK) \
    M(DecryptHelp, \
      "The password is asked once (or read from --package-password-file) and used for every\n" \
      "package of the batch. New restored files and folders are the owner's alone (0600, 0700).\n" \
      "FILE '-' is one package read from standard input (restored only with --to).\n\n" \
      "  --to DIR    restore into DIR (made when missing, removed again if nothing was restored);\n" \
      "              without it a terminal asks, and a script restores beside the package\n" \
      "  --direct    no folder question; a lone restored file is offered to be opened\n" \
      "  --keep      keep the packages after their restore (by default, and unless the\n" \
      "              setting DkeptFile says otherwise, a package restored completely is wiped)\n" \
      "  --test      check each package as its restore would (password or key, every CRC, the\n" \
      "              sender's signature of envelopes); nothing is written and no package is wiped\n\n" \
      "An envelope package names as its sender the holder of the certificate that checked its\n" \
      "signature; one that names anyone else fails. A package signed by a bare digest (shared\n" \
      "packages of key-device users) shows its content intact and its sender not proven.\n", MB_OK) \
    M(Demo, "a guided tour on a fresh suite folder in a temporary folder", MB_OK) \
    M(DemoHelp, "  --keep  leave the temporary folder in place afterwards\n", MB_OK) \
    M(Encrypt, \
      "encrypt files in place for the logged-on user: one envelope package per file under a generated " \
      "name, the original wiped", MB_OK) \
    M(EncryptHelp, \
      "Every file named, and every file below a folder named, becomes an envelope package for the\n" \
      "logged-on user beside it: 8 random letters or digits, the file's extension and \".vrk\"\n" \
      "(\"report.doc.vrk\" when the setting RandFileName of section Option is FALSE; an existing\n" \
      "package of that name is then replaced). The original is wiped only once its package is\n" \
      "complete and flushed to the disk. Packages (.vrk), signature files (.idi) and Office lock\n" \
      "files (~$*) are passed over, each named with the reason; links inside a folder are left\n" \
      "out and named. Prints \"FILE -> PACKAGE\" for each file encrypted (also with --quiet)\n" \
      "and a summary line. A file that has other names loses only this one: its content is\n" \
      "wiped when the batch also encrypts its last name, else it is said to be left.\n\n" \
      "  --json    print one JSON document instead: encrypted (source, package, wiped), skipped\n" \
      "            (source, reason), failed, stopped\n\n" \
      "Exit status 1 when a file failed or its content was left on the disk.\n", MB_OK) \
    M(Envelope, "an envelope package of files and folder trees for several recipients", MB_OK) \
    M(EnvelopeHelp, \
      "  -o PACKAGE     the envelope package to write (replaced only with --force)\n" \
      "  --to IDS       further recipients separated by commas: user IDs, e-mail addresses\n" \
      "                 of registered users, @GROUP; the logged-on user is always a\n" \
      "                 recipient and signs the package\n" \
      "  --base DIR     the folder stored paths are relative to (default: the deepest folder\n" \
      "                 holding every PATH)\n" \
      "  --cipher ID    bulk cipher: 46 IDEA (default), 62 triple DES, 45 DES, 120/121 cards\n" \
      "  --force        replace an existing PACKAGE (atomically)\n", MB_OK) \
    M(Group, "user groups", MB_OK) \
    M(GroupAdd, "make an empty group (a name without '@', ';' or blanks at its ends)", MB_OK) \
    M(GroupMember, "add registered users to a group", MB_OK) \
    M(GroupMemberHelp, "Each USER is a user ID of this store; a user already in the group stays once.\n", MB_OK) \
    M(GroupList, "the groups with their members", MB_OK) \
    M(Info, "who made a secured file and who may open it, as the security page shows it", MB_OK) \
    M(InfoHelp, \
      "Reads password and envelope packages and signature files without decrypting anything;\n" \
      "exit 1 when a FILE is not secured or cannot be read.\n\n" \
      "The sender or signer shown is what the file states (\"proven\": false): verify checks a\n" \
      "signature file, decrypt --test an envelope package's signature.\n\n" \
      "  --json  one JSON array, an object per FILE: kind, signer or sender, times, recipients\n", MB_OK) \
    M(Init, "create the suite folder and its logon store (idempotent)", MB_OK) \
    M(List, "the folders and files a password or envelope package holds, without opening it", MB_OK) \
    M(ListHelp, \
      "Prints each folder and file of the package: size in bytes, modification time and path.\n" \
      "The names, sizes and times of a package are readable without the password or key; only\n" \
      "the contents need them. PACKAGE '-' is read from standard input.\n\n" \
      "  --json    one JSON document on standard output:\n" \
      "            {\"packages\": [{\"package\", \"entries\": [{\"type\", \"path\", \"size\",\n" \
      "            \"modified\", \"readOnly\"}]}]}\n", MB_OK) \
    M(MailPack, "pack files into a mail package in the suite's mail folder and print its path", MB_OK) \
    M(MailPackHelp, \
      "  --to NAME,...  the recipients: names of installed certificates\n" \
      "  --encrypt      encrypt the package for the recipients\n" \
      "  --sign         sign it with the logged-on user's private key\n" \
      "  --send         hand it to the mail program through the mail module, the recipients as To\n", MB_OK) \
    M(MailUnpack, "unpack a mail package into the mail folder; lists the files written and the signer's verdict", MB_OK) \
    M(MailUnpackHelp, \
      "PACKAGE '-' reads the package's bytes from standard input (in memory); './-' names a file.\n\n" \
      "  --json  print the result as one JSON document\n", MB_OK) \
    M(Option, "settings of the suite", MB_OK) \
    M(OptionGet, "print a setting (exit 1 when it is not set)", MB_OK) \
    M(OptionSet, "change a setting", MB_OK) \
    M(OptionSetHelp, \
      "Section and setting names are taken in any case and stored as shown here; a setting\n" \
      "not listed, or a value other than those listed, is refused.\n" \
      "Section Option: SIgnID (signature digest, 8 or 42), RandFileName, AutoSignFile,\n" \
      "AutoSendPubCert, DkeptFile, DispDecryptResult (TRUE or FALSE, any case), WriteTimes\n" \
      "(a number), IsaCard (0, 1 or 2), LastUser.\n" \
      "Section MAIL: MAPI (0, or 1: mail through the mapi module), Opener (the mail program).\n" \
      "Section Device: Module, ModuleArgs. Section Directory: see docs/directory.md.\n", MB_OK) \
    M(Original, "the original name, modification time and size of the file a generated-name package holds", MB_OK) \
    M(OriginalHelp, \
      "Only a recipient of the package (the logged-on user) is told; nothing is decrypted or\n" \
      "written. A package of several files or of a folder, and a password package, have no one\n" \
      "name to tell: that is said, with exit status 1; `varnex list` shows what they hold.\n\n" \
      "  --json    print a JSON array instead: package, name, modified, size\n", MB_OK) \
    M(Pack, "a password package of files and folder trees", MB_OK) \
    M(PackHelp, \
      "Each PATH is a file or a folder (a link named here is followed). Inside folders, links,\n" \
      "pipes and devices are left out and named in a notice at the end.\n\n" \
      "  -o, --output PACKAGE  the package to write; an existing file is replaced only with --force;\n" \
      "                        '-' writes it to standard output (never to a terminal; ./- names a file)\n" \
      "  --base DIR            the folder the stored names are relative to (default: the\n" \
      "                        deepest folder holding every PATH); every PATH must lie below it\n" \
      "  --cipher ID           the bulk cipher: 45 DES, 46 IDEA, 62 two-key triple DES,\n" \
      "                        120 PCI card, 121 ISA card (default: the suite's choice)\n" \
      "  --force               replace an existing PACKAGE (atomically)\n\n" \
      "The password comes from --new-password-file (its first line, spaces included) or is\n" \
      "asked twice on the terminal; it needs at least 6 characters.\n", MB_OK) \
    M(Props, "the property sheet of files, folders and drives (mount points)", MB_OK) \
    M(PropsHelp, \
      "One file shows its own page; anything else the page of the selection, or of the drive.\n\n" \
      "  --json      print the sheet as one JSON document\n" \
      "  --set +r|-r make read-only or writable, as the page's OK does; hidden (a name beginning\n" \
      "              with \".\") and archive (every file) are shown but cannot be changed here\n", MB_OK) \
    M(Selftest, "run the cipher self-tests", MB_OK) \
    M(SelftestHelp, \
      "  --rounds N  repeat each test N times (1 to 1000000; default 1)\n" \
      "  --rsa       also test the logged-on user's RSA key pair (asks for the password)\n", MB_OK) \
    M(Share, "authorised decryptors of shared folders", MB_OK) \
    M(ShareGrant, "let users and groups decrypt what is shared-encrypted for PATH", MB_OK) \
    M(ShareGrantHelp, \
      "PATH is kept absolute. Each USER is a user ID, each @GROUP a group name: the store's group,\n" \
      "else, when a directory is set up, the directory's, kept by name and read each time;\n" \
      "share-encrypt --share PATH makes packages every one of them can open.\n", MB_OK) \
    M(ShareList, "the authorised decryptors of PATH, or of every shared folder", MB_OK) \
    M(ShareEncrypt, \
      "encrypt files in place for everyone a share path names: one shared package per file under a " \
      "generated name, the original wiped", MB_OK) \
    M(ShareEncryptHelp, \
      "The recipients are the logged-on user and every user and group member that `varnex share\n" \
      "grant` authorised for PATH, each once, at most 200 people; without a grant for PATH the\n" \
      "packages are for the logged-on user alone. A recipient whose certificate changed since it\n" \
      "was confirmed is named and left out. Names, skips and the wipe as for `varnex encrypt`.\n\n" \
      "  --share PATH   the shared folder whose authorised decryptors receive the packages\n" \
      "  --json         print one JSON document instead: encrypted (source, package, wiped),\n" \
      "                 skipped (source, reason), failed, stopped\n", MB_OK) \
    M(Sign, "sign files into signature files FILE.idi beside them", MB_OK) \
    M(SignHelp, \
      "Each FILE gets a signature file FILE.idi beside it (at most 200 files per run), signed\n" \
      "with the logged-on user's private key over the file's whole content; each one written\n" \
      "is printed. An existing FILE.idi is replaced only when the question is answered yes.\n\n" \
      "  --for-mail  sign for mail (kind 16: verified through the signer's name)\n" \
      "  --mail      sign for mail and mail the files with their signature files (and the\n" \
      "              user's certificate when the setting AutoSendPubCert is TRUE); the\n" \
      "              signature files are deleted once the message holds them\n\n" \
      "Exit status 0 only when every FILE was signed.\n", MB_OK) \
    M(User, "registered users: key pairs, certificates, passwords", MB_OK) \
    M(UserAdd, "register a user with a new RSA key pair and a certificate", MB_OK) \
    M(UserAddHelp, \
      "The password comes from --new-password-file (its first line, spaces included) or is\n" \
      "asked twice on the terminal; the private key is stored encrypted under it.\n\n" \
      "  --name NAME   the holder's name in the certificate (default: ID)\n" \
      "  --email ADDR  the holder's mail address in the certificate\n" \
      "  --device DIR  keep the private key in the key-device folder DIR instead of the store;\n" \
      "                the user can then sign and decrypt only while DIR is present\n" \
      "  --device pkcs11:URI  generate the key on the PKCS#11 token URI names (module: option\n" \
      "                Device Module; its PIN from --pin-file or asked); the key never leaves it\n", MB_OK) \
    M(UserImport, "register a user with a key and certificate made elsewhere (PKCS#12)", MB_OK) \
    M(UserImportHelp, \
      "The file's password comes from --password-file or is asked; the new logon password from\n" \
      "--new-password-file or is asked twice. The key is stored encrypted under the new password,\n" \
      "as the keys of added users are. The user's name and address are the certificate's (CN,\n" \
      "e-mail); a CA certificate, one not valid now or one not for e-mail protection is refused.\n", MB_OK) \
    M(UserList, "the registered users: number, ID, name<mail>, where the private key is kept", MB_OK) \
    M(UserRemove, "remove a user with its private key and certificate", MB_OK) \
    M(UserRemoveHelp, \
      "Packages made for the user can no longer be opened afterwards. A key-device user's key\n" \
      "file is erased from the device; a device that is not present is named, with the file\n" \
      "that still opens with the user's password there. The user's password is\n" \
      "asked (or read from --password-file, $VARNEX_PASSWORD) to confirm.\n\n" \
      "  --force  remove without the password\n", MB_OK) \
    M(UserPasswd, "change a user's password", MB_OK) \
    M(UserPasswdHelp, \
      "ID defaults to --user, else the store's only user, else the last user who logged on\n" \
      "(option LastUser of section Option). The old password comes from\n" \
      "--password-file ($VARNEX_PASSWORD) or the terminal, the new one from --new-password-file\n" \
      "or is asked twice; the private key is encrypted again under the new one.\n", MB_OK) \
    M(Verify, "check signature files against their files and print each report", MB_OK) \
    M(VerifyHelp, \
      "A signature file away from its file looks for the file's name beside itself, else asks\n" \
      "for it (--answers file=PATH in scripts). Exit 0 only when every signature is correct.\n\n" \
      "The signer shown is the holder of the certificate that checked the signature (its name and\n" \
      "e-mail); a signature file naming anyone else fails, and so does X.idi beside a file X\n" \
      "when it is the signature of another file.\n\n" \
      "  --json  one JSON array, an object per signature file: kind, verdict, signer, times,\n" \
      "          \"proven\" and the \"certificate\" that checked it (subject, email, sha256)\n", MB_OK) \
    M(Wipe, "delete files and folder trees beyond recovery", MB_OK) \
    M(WipeHelp, \
      "Each file is overwritten with random bytes and flushed to the disk before it is removed;\n" \
      "links are removed, never followed; what stays is listed in the delete log LumoLog.txt.\n" \
      "A file with other names (hard links) is not overwritten, nor is one that cannot be opened\n" \
      "for writing: only its name is removed, the log says so and the exit status is 1. A missing\n" \
      "PATH, '.' and '..' are refused.\n\n" \
      "  --zero  overwrite only each file's first 10,240 bytes, with zeros\n", MB_OK)

// clang-format on
VARNEX_MESSAGE_TABLE(VARNEX_CLI_HELP_MESSAGES)
}  // namespace msg::cli_help
