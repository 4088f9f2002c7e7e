#pragma once
// Starting another program and waiting for it. The child gets this process's environment as it
// is then (secrets taken out of it at start-up stay out).

#include <string>
#include <vector>

// Runs args[0] (looked up on PATH) with the arguments that follow and waits for it: its exit
// status, or -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& args);

// Whether a program of that name can be run from a folder on PATH.
bool ProgramOnPath(const std::string& program);
