#pragma once
// The program's actions, one per file-manager action. Each runs on the engine's thread with
// the files it was given (absolute paths) and ends with something the person sees: the
// engine's own report or failure, or a message of the program's. Answers 1 when done, 0 when
// it failed, -1 when the person cancelled or stopped it.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logon/ILogon.h"

class CKorvane;
class LogonStore;
class QtUiHost;
class RecipientChoice;

// Answers given once in a run and kept for the rest of it (the main window runs several
// actions in one run).
struct RunAnswers {
    int packageCount = 0;  // several files: 0 not asked yet, 1 one package, 2 one per file
};

struct ActionJob {
    QtUiHost& host;
    CKorvane& engine;
    LogonStore& store;
    const std::vector<std::string>& files;
    RunAnswers& answers;
};

using Action = int (*)(ActionJob& job);

// The action of that name; null when there is none.
Action FindAction(std::string_view name);

// The actions by name, in the order the main window lists them.
const std::vector<std::string_view>& ActionNames();

// Password packages have no extension of their own in the engine; the desktop names them
// ".vrp", which its MIME type claims and no other type does (".vrk" is the envelope's).
inline constexpr const char* kPasswordPackageExtension = ".vrp";
inline constexpr const char* kEnvelopeExtension = ".vrk";
// "NAME.EXT" beside `first`, else "NAME (2).EXT" and so on: an existing file is never replaced.
std::string FreePackageName(const std::string& first, const char* extension);
// Up to ten lines of `lines`, then "and N more".
std::string ShortList(const std::vector<std::string>& lines);
// The recipient chooser over every recipient source, for the logged-on user `me` (meAlways: the
// package is made for them whatever the box says). People chosen from the directory are resolved
// (each certificate confirmed) before it returns. Null when nothing came of it: `ended` then
// holds the action's result, -1 when the person cancelled or refused a certificate, 0 when
// the choice could not be used (said). `share`: the chooser adds decryptors to a share whose
// present ones it keeps; it offers the store's users and groups only, which a share names.
std::unique_ptr<RecipientChoice> ChooseRecipients(ActionJob& job, const std::string& me, bool meAlways, int& ended,
                                                  const std::vector<DecryptMan>* share = nullptr);
// The logged-on user's ID after LogOnUser.
std::string LoggedOnUser(LogonStore& store);

// open: what each file is decides: a package is decrypted, a signature file verified, anything
// a mail package (".qlt") unpacked, anything else shown with its properties.
int OpenFiles(ActionJob& job);
// The open of a mail package (".qlt"): unpacked after logging on, its files listed.
int OpenMailPackage(ActionJob& job, const std::string& path);
// pack: one password package of every file and folder, beside the first.
int PackFiles(ActionJob& job);
// sign: after logging on, a signature file beside each file.
int SignFilesAction(ActionJob& job);
// verify: each signature file checked, with its report.
int VerifyFiles(ActionJob& job);
// properties: the property sheet of the selection.
int ShowProperties(ActionJob& job);
// envelope: after logging on, the recipient chooser, then one envelope package of every file and
// folder, or one for each (asked once per run when there are several).
int EnvelopeFiles(ActionJob& job);
// encrypt: after logging on, one package per file for the user; each original wiped.
int EncryptEachFile(ActionJob& job);
// share: after logging on, the chooser adds decryptors to the folder of the files, then one
// shared package per file for the user and everyone allowed for that folder; originals wiped.
int ShareEncryptFiles(ActionJob& job);
// mail: after logging on, the recipient chooser, one signed and encrypted mail package, and the
// question whether to hand it to the mail program.
int MailFiles(ActionJob& job);
// wipe: after a confirmation naming them, every file and folder destroyed beyond recovery.
int WipeFiles(ActionJob& job);
