#pragma once
// The size of a job that reads files and folder trees, for a progress bar that stands for the
// whole job.

#include <cstdint>
#include <string>
#include <vector>

// The bytes of the files the paths name, folders walked without following the links met inside
// (as the package walker does).
uint64_t SourceBytes(const std::vector<std::string>& paths);
