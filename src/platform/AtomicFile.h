#pragma once
// A file written under a temporary name beside its final place and moved there only when it
// is complete: a failed or abandoned write never destroys the file it was to replace and
// leaves nothing behind. The temporary name starts with ".varnex-".

#include <string>

#include "platform/CFile.h"

class CAtomicFile {
public:
    CAtomicFile() = default;
    // Discards the temporary file unless it was committed.
    ~CAtomicFile() { Discard(); }
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file, open for reading and writing; false with *error filled.
    bool Create(const std::string& finalPath, CFileException* error);
    CFile* File() { return &m_file; }
    // Closes the file (checked), makes it durable when it replaces an existing file, gives it
    // the permissions a new file of the user gets and moves it into place. False with *error
    // filled; the temporary file is then gone.
    bool Commit(CFileException* error);
    void Discard();

private:
    std::string m_final;
    std::string m_temp;
    CFile m_file;
};
