#pragma once
// "-" where a command reads or writes a package: the engine opens packages by name, so standard
// input is first copied to a private temporary file, and a package for standard output is made
// in one and copied out once complete.

#include <string>

// Copies the finished package to standard output and removes it; its name is gone before the
// first byte is copied, so an interruption leaves nothing behind. The exit code, after the one
// message when the copy failed.
int CopyToStdout(const std::string& package);

// A temporary package name in the user's own temporary folder for a package bound for standard
// output; false with the message said.
bool StdoutPackageName(std::string& name);

// Standard input held as a package file of the user's own (0600, in the user's temporary
// folder) for as long as this object lives; a signal that ends the process removes it too.
class StdinPackage {
public:
    StdinPackage() = default;
    ~StdinPackage();
    StdinPackage(const StdinPackage&) = delete;
    StdinPackage& operator=(const StdinPackage&) = delete;

    // Reads standard input to its end into the file; false with the message said (standard
    // input a terminal, no temporary folder, a read or write failure).
    bool Take();
    // The file's path, once taken.
    const std::string& Path() const { return m_path; }

private:
    int m_folder = -1;
    std::string m_name, m_path;
    int m_slot = -1;
};
