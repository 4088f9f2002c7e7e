#pragma once
// The name a mistyped command, sub-command or option most likely meant, so that a usage error
// can say "did you mean ...?" instead of only "unknown".

#include <string>
#include <vector>

// The candidate closest to what was typed, counting a letter added, dropped or changed, or two
// neighbours swapped, as one edit each; "" when none is close enough to be a slip (at most one
// edit for names up to four letters, two beyond) or when two candidates are equally close.
std::string NearestName(const std::string& typed, const std::vector<std::string>& candidates);
