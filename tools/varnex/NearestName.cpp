#include "NearestName.h"

#include <algorithm>

namespace {

// Edits between a and b (optimal string alignment: insert, delete, substitute, swap neighbours).
size_t Edits(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string NearestName(const std::string& typed, const std::vector<std::string>& candidates) {
    // Long typed text is no slip of a name; it also keeps the table small.
    if (typed.empty() || typed.size() > 64) return {};
    const size_t limit = typed.size() <= 4 ? 1 : 2;
    std::string best;
    size_t bestEdits = limit + 1;
    bool tie = false;
    for (const std::string& c : candidates) {
        size_t e = Edits(typed, c);
        if (e < bestEdits) {
            best = c, bestEdits = e, tie = false;
        } else if (e == bestEdits && c != best) {
            tie = true;
        }
    }
    return bestEdits <= limit && !tie ? best : std::string();
}
