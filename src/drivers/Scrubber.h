#pragma once
// The suite's wipe module: one call destroys one file. The decryption dispatcher wipes a
// package after a successful restore with it, and single-file encryption wipes the plain
// file once its package is in place.
//
// What a call does: the file's whole content is overwritten with random bytes, the
// overwrite is flushed to the disk, then the file is truncated and unlinked. A symbolic link
// at path is removed, never followed: the file it points to is left untouched. A folder is
// not wiped. A file with more than one name is never overwritten: only the name at path goes.
// This cannot reach copies the file system keeps on its own (journals, copy-on-write
// snapshots, remapped flash blocks).
//
// Callers do not examine the result (the file is gone afterwards, or it could not be
// reached); it is 1 when nothing is left at path.

#include <string>

#include "platform/FileIdentity.h"
#include "platform/Overwrite.h"

int ScrubFile(const char* path);

// The same for the regular file at path, saying what became of it (see WipeOutcome): kWiped only
// when its bytes were overwritten and its name removed. Anything else at path (a link, a folder,
// nothing) is left as it is (kNotRemoved), and so is a file other than `expected` (kReplaced).
WipeOutcome ScrubRegularFile(const char* path, const FileIdentity& expected);

// The same for exactly the file `held` is open on, found at path: see WipeHeldFile
// (platform/Overwrite.h) for what each outcome leaves; *error and *leftAs as there.
WipeOutcome ScrubHeldFile(const std::string& path, int held, int* error, std::string* leftAs);
