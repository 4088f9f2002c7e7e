#pragma once
// The program's actions, one per file-manager action. Each runs on the engine's thread with
// the files it was given (absolute paths) and ends with something the person sees: the
// engine's own report or failure, or a message of the program's. Answers 1 when done, 0 when
// it failed, -1 when the person cancelled or stopped it.

#include <string>
#include <string_view>
#include <vector>

class CKorvane;
class LogonStore;
class QtUiHost;

struct ActionJob {
    QtUiHost& host;
    CKorvane& engine;
    LogonStore& store;
    const std::vector<std::string>& files;
};

using Action = int (*)(ActionJob& job);

// The action of that name; null when there is none.
Action FindAction(std::string_view name);

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
// wipe: after a confirmation naming them, every file and folder destroyed beyond recovery.
int WipeFiles(ActionJob& job);
