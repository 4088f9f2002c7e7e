#pragma once
// What the programs do with a mail package once they have its bytes (`varnex mail-unpack`, the
// desktop's open): rows for the files the package announces (a count the engine has held
// against the package's length: never sized from a forged header), the engine's unpacking, and
// the session key wiped. The programs show what this answers; the fuzz target
// fuzz_mail_program runs the same step.

#include <memory>
#include <string>
#include <vector>

#include "mail/MailEncrypt.h"

struct UnpackedMail {
    int result = 0;                  // DecryptMail's result
    std::vector<std::string> files;  // the paths written, in order
    // The engine's answers (flag, signer, signature verdict, damaged file); Key and IV wiped.
    std::unique_ptr<DECRYPT_MAIL_KEY> key;
    bool outOfMemory = false;  // the rows could not be had: nothing was unpacked
};

// Unpacks the package read from file, else from memory, into the logged-on user's mail folder.
UnpackedMail UnpackMailPackage(CMailEncrypt& engine, CFile* file, CMemFile* memory);
